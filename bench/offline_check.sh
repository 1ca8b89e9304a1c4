#!/usr/bin/env bash
# How whole a mirror of real documentation sites is in a browser. Serves the
# HTML manuals of Debian packages with an nginx of its own, mirrors each with
# tarnwick-cli, opens up to LIMIT pages of each mirror from file:// in
# Chromium with the network blocked (tests/browser/check_pages.mjs), opens
# the same pages over http from nginx, and prints per site the pages checked
# and the failures by kind that the served site itself does not have.
#   bench/offline_check.sh [--cli PATH] [--limit N] [--levels N] [SITE ...]
# Sites: python (Sphinx, python3.11-doc), postgresql (DocBook,
# postgresql-doc-15), libstdc++ (Doxygen, libstdc++-12-doc), mkdocs (MkDocs,
# mkdocs-literate-nav-doc). Packages that are missing are installed.
set -euo pipefail
cd "$(dirname "$0")/.."

cli=$PWD/build/release/src/cli/tarnwick-cli
limit=150
levels=2
while [ $# -gt 0 ]; do
  case "$1" in
    --cli) cli=$(realpath "$2"); shift 2 ;;
    --limit) limit=$2; shift 2 ;;
    --levels) levels=$2; shift 2 ;;
    *) break ;;
  esac
done
sites=("${@:-python postgresql libstdc++ mkdocs}")
read -r -a sites <<< "${sites[*]}"

declare -A package=(
  [python]=python3.11-doc [postgresql]=postgresql-doc-15
  [libstdc++]=libstdc++-12-doc [mkdocs]=mkdocs-literate-nav-doc)
declare -A folder=(
  [python]=python3.11/html [postgresql]=postgresql-doc-15/html
  [libstdc++]=gcc-12-base/libstdc++/user [mkdocs]=mkdocs-literate-nav-doc/html)

missing=()
for site in "${sites[@]}"; do
  [ -n "${package[$site]:-}" ] || { echo "offline_check: unknown site '$site'" >&2; exit 2; }
  dpkg-query -W -f='${Status}' "${package[$site]}" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("${package[$site]}")
done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
tests/browser/install.sh

. scripts/nginx_serve.sh
work=$(mktemp -d)
trap 'stop_nginx; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
export TARNWICK_CONFIG_DIR=$work/config
start_nginx /usr/share/doc "$work/nginx"
checker=tests/browser/check_pages.mjs

printf '%-11s %6s %8s %8s %7s %7s %6s %8s\n' site pages network missing sheets images links seconds
for site in "${sites[@]}"; do
  base="http://127.0.0.1:$NGINX_PORT/${folder[$site]}/"
  mirror=$work/mirror-$site
  start=$SECONDS
  "$cli" mirror "${base}index.html" --into "$mirror" --levels "$levels" -q > "$work/$site.log" 2>&1 || true
  seconds=$((SECONDS - start))
  pages=$mirror/127.0.0.1_$NGINX_PORT/${folder[$site]}
  node "$checker" "$pages" --limit "$limit" --json "$work/$site-mirror.json" > /dev/null || true
  node "$checker" "$pages" --limit "$limit" --live "$base" --json "$work/$site-live.json" > /dev/null || true
  python3 - "$site" "$work/$site-mirror.json" "$work/$site-live.json" "$seconds" <<'PY'
import json, sys
site, mirror, live, seconds = sys.argv[1], *map(lambda p: json.load(open(p)), sys.argv[2:4]), sys.argv[4]
kinds = ["network", "missing", "sheets", "images", "links"]
# What the served page fails at itself is no fault of the mirror.
failures = {kind: sum(max(0, len(found[kind]) - len(live.get(page, {}).get(kind, [])))
                      for page, found in mirror.items()) for kind in kinds}
print("%-11s %6d %8d %8d %7d %7d %6d %8s" % (site, len(mirror), *[failures[k] for k in kinds], seconds))
PY
done
