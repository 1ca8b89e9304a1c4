#!/usr/bin/env bash
# Installs what is missing for what it runs, builds that, and runs it:
#   scripts/run.sh                 mirrors the sample site in samples/site/, served
#                                  by nginx on a loopback port, into build/sample-mirror
#   scripts/run.sh URL [OPTIONS]   mirrors URL (tarnwick-cli mirror URL OPTIONS)
#   scripts/run.sh COMMAND ...     runs any other tarnwick-cli command (those that
#                                  tarnwick-cli help lists, help and version included)
#   scripts/run.sh app [PROJECT.tkp]
#                                  starts the desktop program, opening PROJECT.tkp
#   scripts/run.sh --open [URL [OPTIONS]]
#                                  mirrors as above, then opens the copy's first
#                                  page in a browser (xdg-open, else chromium)
# Only the command line's packages are installed (the desktop program's for
# app, the CHM compiler for chm); scripts/test.sh installs the rest.
set -euo pipefail
cd "$(dirname "$0")/.."

open_mirror=0
if [ "${1:-}" = "--open" ]; then
  open_mirror=1
  shift
fi

# Opens the shallowest page of a mirror folder, detached, as a reader would.
open_in_browser() {
  local page
  page=$(find "$1" -type f \( -name '*.html' -o -name '*.htm' \) -printf '%d %p\n' 2>/dev/null |
    sort -n | head -1 | cut -d' ' -f2-)
  if [ -z "$page" ]; then
    echo "run.sh: no page to open in $1" >&2
    return 1
  fi
  echo "Opening $page"
  if command -v xdg-open > /dev/null; then
    setsid xdg-open "$page" > /dev/null 2>&1 &
  elif command -v chromium > /dev/null; then
    local sandbox=()
    [ "$(id -u)" -eq 0 ] && sandbox=(--no-sandbox)
    setsid chromium "${sandbox[@]}" "file://$(realpath "$page")" > /dev/null 2>&1 &
  else
    echo "run.sh: no browser found (xdg-open or chromium); the page is $page" >&2
    return 1
  fi
}

# The folder a mirror of the given arguments lands in: --into's, else the
# newest .files folder here, which mirror has just made or updated.
mirror_folder() {
  local previous=
  for argument in "$@"; do
    case "$previous" in --into) echo "$argument"; return ;; esac
    case "$argument" in --into=*) echo "${argument#--into=}"; return ;; esac
    previous=$argument
  done
  ls -dt -- *.files 2>/dev/null | head -1
}

commands='help|-h|--help|version|-V|--version|mirror|new|start|stop|set|summary|list|clear|chm|settings'

case "${1:-}" in
  app)
    shift
    scripts/setup.sh app
    scripts/build.sh app
    exec "$PWD/build/app/src/ui/tarnwick" "$@"
    ;;
  "") groups=(cli sample) ;;
  chm) groups=(cli chm) ;;
  *) groups=(cli) ;;
esac
scripts/setup.sh "${groups[@]}"
scripts/build.sh cli
cli=$PWD/build/cli/src/cli/tarnwick-cli

if [ -n "${1:-}" ]; then
  if [[ "$1" =~ ^($commands)$ ]]; then
    exec "$cli" "$@"
  fi
  if [ $open_mirror -eq 0 ]; then
    exec "$cli" mirror "$@"
  fi
  "$cli" mirror "$@"
  open_in_browser "$(mirror_folder "$@")"
  exit
fi

. scripts/nginx_serve.sh
work=$(mktemp -d)
trap 'stop_nginx; rm -rf "$work"' EXIT
start_nginx samples/site "$work/nginx"
out=build/sample-mirror
rm -rf "$out" "$out.tkp"
echo "Serving samples/site/ at http://127.0.0.1:$NGINX_PORT/"
"$cli" mirror "http://127.0.0.1:$NGINX_PORT/" --into "$out"
echo
echo "The mirror, in $out:"
(cd "$out" && find . -type f | sed 's|^\./|  |' | sort)
if [ $open_mirror -eq 1 ]; then
  open_in_browser "$out"
fi
