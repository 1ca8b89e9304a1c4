#!/usr/bin/env bash
# The crawl's bandwidth limit as a user meets it: tarnwick-cli mirrors files
# from a loopback nginx under --limit-rate, and the rate it reached (bytes
# saved over the wall time of the run) is printed beside the limit, with the
# deviation; a run more than 20 % off the limit is marked "OFF" and the
# script exits 1. Two cases per limit: one 5 MB file on one worker, and five
# 1 MB files on four workers sharing the one bucket.
#   bench/rate_limit.sh [LIMIT ...]     LIMIT as --limit-rate takes it (200k 1m)
# Environment: TARNWICK_CLI another tarnwick-cli to measure.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${TARNWICK_CLI:-$PWD/build/release/src/cli/tarnwick-cli}
[ -x "$cli" ] || scripts/build.sh release > /dev/null
limits=("$@")
[ ${#limits[@]} -gt 0 ] || limits=(200k 1m)

. scripts/nginx_serve.sh
. bench/scratch_folder.sh
work=$(scratch_folder rate)
trap 'stop_nginx; rm -rf "$work"' EXIT
export TARNWICK_CONFIG_DIR="$work/config"
mkdir -p "$TARNWICK_CONFIG_DIR" "$work/site/parts"

head -c $((5 * 1024 * 1024)) /dev/urandom > "$work/site/big.bin"
links=
for i in 1 2 3 4 5; do
  head -c $((1024 * 1024)) /dev/urandom > "$work/site/parts/part$i.bin"
  links+="<a href=\"parts/part$i.bin\">part $i</a>"
done
echo "<html><body>$links</body></html>" > "$work/site/parts.html"
start_nginx "$work/site" "$work/nginx"
base="http://127.0.0.1:$NGINX_PORT"

bytes_per_second() {
  case $1 in
    *[kK]) echo $((${1%?} * 1024)) ;;
    *[mM]) echo $((${1%?} * 1024 * 1024)) ;;
    *) echo "$1" ;;
  esac
}

off=0
# Mirrors URL under LIMIT with THREADS workers and prints the rate reached.
measure() {
  local limit=$1 threads=$2 url=$3 label=$4 start end bytes want
  rm -rf "$work/mirror" "$work/mirror.tkp"
  start=$(date +%s.%N)
  "$cli" mirror "$url" --into "$work/mirror" --threads "$threads" --limit-rate "$limit" \
    --no-robots > "$work/out" 2>&1 || { cat "$work/out" >&2; return 1; }
  end=$(date +%s.%N)
  bytes=$(find "$work/mirror" -name '*.bin' -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  want=$(bytes_per_second "$limit")
  awk -v label="$label" -v limit="$limit" -v want="$want" -v bytes="$bytes" \
    -v wall="$(echo "$end - $start" | bc)" 'BEGIN {
      rate = bytes / wall; dev = (rate - want) / want * 100
      printf "  %-22s %6s %10d %8.2f %12.0f %+7.1f%%%s\n", label, limit, bytes, wall, rate, dev,
        (dev > 20 || dev < -20) ? "  OFF" : ""
      exit (dev > 20 || dev < -20) }' || off=1
}

printf '  %-22s %6s %10s %8s %12s %8s\n' case limit bytes wall_s bytes_per_s off_by
for limit in "${limits[@]}"; do
  measure "$limit" 1 "$base/big.bin" "one 5 MB file"
  measure "$limit" 4 "$base/parts.html" "five 1 MB, 4 workers"
done
exit "$off"
