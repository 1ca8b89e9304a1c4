#!/usr/bin/env bash
# A crawl at scale: generates a site of N pages (bench/make_site.py; N/50
# images, 3 broken links per 2 000 pages), serves it with nginx on loopback
# and mirrors it with tarnwick-cli and with Wget2 in one run, printing the
# wall time, user and system CPU time and peak memory of each; then, on the
# finished project, the time of one project save and one open (project_timing),
# of one `summary` and of one `list > /dev/null`, and the size of the project
# file and its journal.
#   bench/scale.sh N
# Environment: TARNWICK_CLI another tarnwick-cli to measure (an older build);
# KEEP=1 keeps the work folder (site, mirrors, project); THREADS (8) of both tools; PERF=1 records the tarnwick crawl
# with `perf record -g` into WORK/perf.data and prints its top symbols;
# DESKTOP_OPEN, a command that opens the project given as its argument in the
# desktop program and exits once its views are filled, is timed as well; by
# default the desktop views' benchmark (bench/views_benchmark --open, offscreen),
# whose report of the longest event-loop stall is printed beneath.
set -euo pipefail
cd "$(dirname "$0")/.."
pages=${1:?usage: bench/scale.sh N}
threads=${THREADS:-8}
images=$((pages / 50 > 1 ? pages / 50 : 1))
broken=$((pages * 3 / 2000))
build=$PWD/build/release
cli=${TARNWICK_CLI:-$build/src/cli/tarnwick-cli}
[ -x "$cli" ] && [ -x "$build/bench/project_timing" ] ||
  { scripts/build.sh release > /dev/null; cmake --build "$build" --target project_timing > /dev/null; }

. scripts/install_missing.sh
install_missing wget2
. scripts/nginx_serve.sh
. bench/scratch_folder.sh
work=$(scratch_folder scale)
if [ "${KEEP:-0}" = 1 ]; then
  trap 'stop_nginx; echo "kept $work"' EXIT
else
  trap 'stop_nginx; rm -rf "$work"' EXIT
fi
export TARNWICK_CONFIG_DIR="$work/config"
mkdir -p "$TARNWICK_CONFIG_DIR"

start=$(date +%s.%N)
python3 bench/make_site.py "$work/site" "$pages" "$images" "$broken"
printf 'site: %d pages, %d images, %d broken links, %d files, generated in %.0f s; %d threads\n' \
  "$pages" "$images" "$broken" "$(find "$work/site" -type f | wc -l)" \
  "$(echo "$(date +%s.%N) - $start" | bc)" "$threads"
start_nginx "$work/site" "$work/nginx"
url="http://127.0.0.1:$NGINX_PORT/index.html"

# One command under /usr/bin/time -v; prints NAME wall user sys peak_kb.
measure() {
  local name=$1 log="$work/$1.time"
  shift
  /usr/bin/time -v -o "$log" "$@" > "$work/$name.out" 2>&1 || true
  awk -F': ' -v name="$name" '
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); for (i = 1; i <= n; i++) wall = wall * 60 + t[i] }
    /User time/ { user = $2 } /System time/ { sys = $2 }
    /Maximum resident set size/ { peak = $2 }
    END { printf "  %-10s %9.2f %9.2f %9.2f %10d\n", name, wall, user, sys, peak }' "$log"
}

printf '  %-10s %9s %9s %9s %10s\n' tool wall_s user_s sys_s peak_kb
tarnwick=("$cli" mirror "$url" --into "$work/tarnwick" --threads "$threads" --scope domain -q)
if [ "${PERF:-0}" = 1 ]; then
  measure tarnwick perf record -g -o "$work/perf.data" -- "${tarnwick[@]}"
else
  measure tarnwick "${tarnwick[@]}"
fi

project=$work/tarnwick.tkp
journal_bytes=$(stat -c %s "$project.journal" 2>/dev/null || echo 0)
read -r open_s save_s urls project_bytes < <("$build/bench/project_timing" "$project")
printf '  project: %d URLs, %d bytes, journal %d bytes; open %.2f s, save %.2f s\n' \
  "$urls" "$project_bytes" "$journal_bytes" "$open_s" "$save_s"
measure summary "$cli" summary "$project"
measure list sh -c '"$0" list "$1" > /dev/null' "$cli" "$project"
if [ -z "${DESKTOP_OPEN+set}" ]; then
  # Built only where the desktop program is; left out quietly elsewhere.
  cmake --build "$build" --target views_benchmark > /dev/null 2>&1 &&
    DESKTOP_OPEN="$build/bench/views_benchmark --open"
fi
if [ -n "${DESKTOP_OPEN:-}" ]; then
  measure desktop $DESKTOP_OPEN "$project"
  grep -v '^QStandardPaths\|propagateSizeHints' "$work/desktop.out" | sed 's/^/    /' || true
fi
# A tmpfs holds so many inodes only: at a million pages the site and two
# mirrors do not fit at once.
saved=$(find "$work/tarnwick" -type f | wc -l)
rm -rf "$work/tarnwick"
measure wget2 wget2 --mirror --page-requisites --convert-links --robots=off --quiet \
  --max-threads="$threads" -P "$work/wget2" "$url"
printf '  saved: tarnwick %d files, wget2 %d files\n' "$saved" "$(find "$work/wget2" -type f | wc -l)"
if [ "${PERF:-0}" = 1 ]; then
  perf report -i "$work/perf.data" --no-children --sort dso,symbol -g none --stdio 2> /dev/null |
    grep -v '^#' | grep -v '^$' | head -40
fi
