#!/usr/bin/env bash
# Whole-program benchmark: mirrors a generated site of 2000 pages and 4000
# images, served by nginx on loopback, with tarnwick-cli (8 threads; again
# with --no-head, a HEAD only where it can spare a body) and with wget
# (--mirror --page-requisites --convert-links, one connection), and prints the
# files saved, the wall time and the peak memory of each, and the ratio of the
# times. BROKEN pages also link to a page that does not exist.
# bench/compare.sh sets the tools side by side on more sites.
#   bench/crawl.sh [PAGES IMAGES THREADS BROKEN]
set -euo pipefail
cd "$(dirname "$0")/.."
pages=${1:-2000}
images=${2:-4000}
threads=${3:-8}
broken=${4:-0}
cli=$PWD/build/release/src/cli/tarnwick-cli
[ -x "$cli" ] || scripts/build.sh release > /dev/null

. scripts/nginx_serve.sh
. bench/scratch_folder.sh
work=$(scratch_folder bench)
trap 'stop_nginx; rm -rf "$work"' EXIT
python3 bench/make_site.py "$work/site" "$pages" "$images" "$broken"
start_nginx "$work/site" "$work/nginx"
url="http://127.0.0.1:$NGINX_PORT/index.html"
total=$(find "$work/site" -type f | wc -l)
echo "site: $pages pages, $images images, $total files, $broken broken links at $url"

# Runs one mirror under /usr/bin/time -v into a fresh folder; prints its line
# and appends "seconds peak_kb files" to WORK/NAME.runs.
measure() {
  local name=$1 folder=$2
  shift 2
  local log="$work/$name.time" seconds peak files
  # tarnwick-cli mirror refuses to overwrite the project file beside the folder.
  rm -rf "$folder" "$folder.tkp"
  /usr/bin/time -v -o "$log" "$@" > "$work/$name.out" 2>&1 || true
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {
      n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s }' "$log")
  peak=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$log")
  files=$(find "$folder" -type f | wc -l)
  printf '  %-10s %6d files  %8.2f s  %8d KB peak\n' "$name" "$files" "$seconds" "$peak"
  echo "$seconds $peak $files" >> "$work/$name.runs"
}

# The fastest of the rounds, as "seconds peak_kb files".
best() {
  sort -n "$work/$1.runs" | head -1
}

export TARNWICK_CONFIG_DIR="$work/config"
mkdir -p "$TARNWICK_CONFIG_DIR"
rounds=2
for round in $(seq "$rounds"); do
  echo "round $round:"
  : > "$work/nginx/access.log"
  measure tarnwick "$work/tarnwick" "$cli" mirror "$url" --into "$work/tarnwick" \
    --threads "$threads" --scope domain
  tarnwick_requests=$(wc -l < "$work/nginx/access.log")
  : > "$work/nginx/access.log"
  measure no-head "$work/tarnwick" "$cli" mirror "$url" --into "$work/tarnwick" \
    --threads "$threads" --scope domain --no-head
  no_head_requests=$(wc -l < "$work/nginx/access.log")
  : > "$work/nginx/access.log"
  # Both rewrite the saved pages' links for offline browsing.
  measure wget "$work/wget" wget --mirror --page-requisites --convert-links --no-verbose -e robots=off \
    -P "$work/wget" "$url"
  wget_requests=$(wc -l < "$work/nginx/access.log")
done
echo "requests per run: tarnwick $tarnwick_requests (HEAD and GET per file)," \
  "--no-head $no_head_requests, wget $wget_requests"
read -r tarnwick_time tarnwick_peak tarnwick_files <<< "$(best tarnwick)"
read -r no_head_time no_head_peak no_head_files <<< "$(best no-head)"
read -r wget_time wget_peak wget_files <<< "$(best wget)"
echo "best of $rounds:"
printf '  %-10s %6d files  %8.2f s  %8d KB peak  (%d threads)\n' tarnwick "$tarnwick_files" \
  "$tarnwick_time" "$tarnwick_peak" "$threads"
printf '  %-10s %6d files  %8.2f s  %8d KB peak  (%d threads)\n' --no-head "$no_head_files" \
  "$no_head_time" "$no_head_peak" "$threads"
printf '  %-10s %6d files  %8.2f s  %8d KB peak  (one connection)\n' wget "$wget_files" \
  "$wget_time" "$wget_peak"
awk -v w="$wget_time" -v t="$tarnwick_time" 'BEGIN {
  if (t > 0) printf "ratio: wget time / tarnwick time = %.2f\n", w / t }'
