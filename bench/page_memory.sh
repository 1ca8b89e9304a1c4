#!/usr/bin/env bash
# What one big page costs: mirrors, from nginx on loopback, a generated page
# of 1 000 000 links (to 100 small pages) and one of 1 000 000 elements, and
# prints the CPU time (user + sys) and peak memory of tarnwick-cli for each.
# When the Python manual is installed (package python3.11-doc) it mirrors
# that too, with tarnwick-cli (8 threads) and, when present, with wget2.
#   bench/page_memory.sh [COUNT]
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-1000000}
# TARNWICK_CLI names another build of the program, to compare two of them.
cli=${TARNWICK_CLI:-$PWD/build/release/src/cli/tarnwick-cli}
[ -x "$cli" ] || scripts/build.sh release > /dev/null

. scripts/nginx_serve.sh
. bench/scratch_folder.sh
work=$(scratch_folder page)
trap 'stop_nginx; rm -rf "$work"' EXIT
export TARNWICK_CONFIG_DIR="$work/config"
mkdir -p "$TARNWICK_CONFIG_DIR" "$work/site/t"

python3 - "$work/site" "$count" <<'PY'
import sys
root, count = sys.argv[1], int(sys.argv[2])
for n in range(100):
    with open(f"{root}/t/{n}.html", "w") as page:
        page.write(f"<html><body>{n}</body></html>\n")
with open(f"{root}/links.html", "w") as page:
    page.write("<html><body>\n")
    page.writelines(f'<a href="t/{i % 100}.html#{i}">x</a>\n' for i in range(count))
    page.write("</body></html>\n")
with open(f"{root}/elements.html", "w") as page:
    page.write("<html><body>\n")
    page.writelines('<span class="c">xx</span>\n' for _ in range(count))
    page.write("</body></html>\n")
PY
start_nginx "$work/site" "$work/nginx"

# Mirrors one URL under /usr/bin/time -v and prints its figures.
measure() {
  local name=$1 folder=$2
  shift 2
  local log="$work/$name.time"
  rm -rf "$folder" "$folder.tkp"
  /usr/bin/time -v -o "$log" "$@" > "$work/$name.out" 2>&1 || true
  awk -F': ' -v name="$name" -v files="$(find "$folder" -type f | wc -l)" '
    /User time/ {user = $2} /System time/ {sys = $2}
    /Maximum resident set size/ {peak = $2}
    END {printf "  %-18s %6d files  %7.2f s CPU  %8d KB peak\n", name, files, user + sys, peak}' "$log"
}

for page in links elements; do
  size=$(stat -c %s "$work/site/$page.html")
  echo "$page.html: $count ${page}, $((size / 1024)) KB"
  measure "tarnwick-$page" "$work/$page" "$cli" mirror \
    "http://127.0.0.1:$NGINX_PORT/$page.html" --into "$work/$page" --threads 8
done

manual=/usr/share/doc/python3.11/html
if [ -d "$manual" ]; then
  stop_nginx
  start_nginx "$manual" "$work/nginx-manual"
  echo "Python manual: $(find "$manual" -name '*.html' | wc -l) pages"
  measure tarnwick-manual "$work/manual" "$cli" mirror \
    "http://127.0.0.1:$NGINX_PORT/index.html" --into "$work/manual" --threads 8
  if command -v wget2 > /dev/null; then
    measure wget2-manual "$work/wget2" wget2 --mirror --page-requisites --no-verbose \
      -e robots=off -P "$work/wget2" "http://127.0.0.1:$NGINX_PORT/index.html"
  fi
fi
