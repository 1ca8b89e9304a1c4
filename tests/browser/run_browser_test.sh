#!/usr/bin/env bash
# Mirrors the sample site and each page of the fixture (served by an nginx of
# its own) with tarnwick-cli, then opens every mirrored page from file:// in
# headless Chromium with the network blocked (check_pages.mjs). A fixture
# page is mirrored from itself, so a page added to fixture/ is checked
# without further ado; fixture/nginx.conf gives the server what a page needs
# of it (the type of a file whose name does not tell).
#   tests/browser/run_browser_test.sh TARNWICK_CLI
# Exits 77 (skipped) when Chromium or Node.js is missing, unless
# TARNWICK_REQUIRE_SERVERS is set, as scripts/test.sh does: then it fails.
set -euo pipefail
cli=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
cd "$here/../.."

chromium=${CHROMIUM:-/usr/bin/chromium}
if [ ! -x "$chromium" ] || ! command -v node > /dev/null; then
  echo "browser test: Chromium or Node.js is not installed (scripts/setup.sh test)"
  [ -n "${TARNWICK_REQUIRE_SERVERS:-}" ] && exit 1
  exit 77
fi
"$here/install.sh"

. scripts/nginx_serve.sh
work=$(mktemp -d)
trap 'stop_nginx; rm -rf "$work"' EXIT
export TARNWICK_CONFIG_DIR=$work/config
status=0

# Mirrors $1 (a URL) into $2 and checks every page of the mirror.
check_mirror() {
  if ! "$cli" mirror "$1" --into "$2" -q > "$2.log" 2>&1; then
    echo "browser test: mirroring $1 failed:" >&2
    cat "$2.log" >&2
    status=1
    return
  fi
  echo "== $1"
  node "$here/check_pages.mjs" "$2" || status=1
}

start_nginx samples/site "$work/sample-nginx"
check_mirror "http://127.0.0.1:$NGINX_PORT/" "$work/sample"
stop_nginx

# The fixture's nginx.conf holds the server directives its pages need.
NGINX_DIRECTIVES=$(cat "$here/fixture/nginx.conf") start_nginx "$here/fixture" "$work/fixture-nginx"
for page in "$here"/fixture/*.html; do
  name=$(basename "$page" .html)
  check_mirror "http://127.0.0.1:$NGINX_PORT/$name.html" "$work/fixture-$name"
done
exit $status
