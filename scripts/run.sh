#!/usr/bin/env bash
# Installs what is missing for what it runs, builds that, and runs it:
#   scripts/run.sh                 mirrors the sample site in samples/site/, served
#                                  by nginx on a loopback port, into build/sample-mirror
#   scripts/run.sh URL [OPTIONS]   mirrors URL (tarnwick-cli mirror URL OPTIONS)
#   scripts/run.sh COMMAND ...     runs any other tarnwick-cli command (those that
#                                  tarnwick-cli help lists, help and version included)
#   scripts/run.sh app [PROJECT.tkp]
#                                  starts the desktop program, opening PROJECT.tkp
# Only the command line's packages are installed (the desktop program's for
# app, the CHM compiler for chm); scripts/test.sh installs the rest.
set -euo pipefail
cd "$(dirname "$0")/.."

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
  exec "$cli" mirror "$@"
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
