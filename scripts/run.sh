#!/usr/bin/env bash
# Installs what is missing, builds, and mirrors a website:
#   scripts/run.sh                 mirrors the sample site in samples/site/, served
#                                  by nginx on a loopback port, into build/sample-mirror
#   scripts/run.sh URL [OPTIONS]   mirrors URL (tarnwick-cli mirror URL OPTIONS)
#   scripts/run.sh COMMAND ...     runs any other tarnwick-cli command (help, version,
#                                  mirror, new, start, stop, set, summary, list, clear, chm)
#   scripts/run.sh app [PROJECT.tkp]
#                                  starts the desktop program, opening PROJECT.tkp
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh release
cli=$PWD/build/release/src/cli/tarnwick-cli

case "${1:-}" in
  "")
    ;;
  app)
    shift
    exec "$PWD/build/release/src/ui/tarnwick" "$@"
    ;;
  help|-h|--help|version|-V|--version|mirror|new|start|stop|set|summary|list|clear|chm)
    exec "$cli" "$@"
    ;;
  *)
    exec "$cli" mirror "$@"
    ;;
esac

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
