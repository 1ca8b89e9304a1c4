#!/usr/bin/env bash
# Mirrors the same sites with tarnwick-cli, Wget2 and (where installed) GNU
# Wget in one run and prints the wall time, the CPU time (user + system), the
# peak memory, the files saved and the requests that nginx logged for each;
# on the delayed site also the relay's mean time from a request to its answer
# (answer_ms) and the tool's own from an answer to its next request
# (client_ms), so that a tool's time per URL can be taken apart.
#   bench/compare.sh [SITE ...]       SITE: generated, python-doc, delayed
#     generated   20 000 pages, 500 images, 200 links to missing pages, one
#                 image on a host that does not resolve (bench/dead_host.sh:
#                 as root, everything runs in a network namespace whose name
#                 server answers NXDOMAIN)
#     python-doc  the Python 3.11 manual (Debian package python3.11-doc)
#     delayed     2 000 pages, 100 images, 20 ms added to every round trip
# Environment: TARNWICK_CLI another tarnwick-cli to measure (an older build),
# THREADS worker threads of tarnwick-cli and Wget2 (8), ROUNDS runs of each
# tool, of which the fastest is shown (1). Wget2 and the Python manual are
# installed with apt-get when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
threads=${THREADS:-8}
rounds=${ROUNDS:-1}
cli=${TARNWICK_CLI:-$PWD/build/release/src/cli/tarnwick-cli}
[ -x "$cli" ] || scripts/build.sh release > /dev/null
sites=("$@")
[ ${#sites[@]} -gt 0 ] || sites=(generated python-doc delayed)

. scripts/install_missing.sh
install_missing wget2 python3.11-doc
have_wget=$(command -v wget || true)
# The option exists only in builds that know it; an older build is measured
# with its HEAD before every GET alone.
no_head=$("$cli" help 2>&1 | grep -q -- --no-head && echo yes || true)

. bench/dead_host.sh
enter_bench_netns "$0" "$@"

. scripts/nginx_serve.sh
. bench/scratch_folder.sh
work=$(scratch_folder compare)
relay_pid=
cleanup() {
  [ -n "$relay_pid" ] && kill "$relay_pid" 2>/dev/null || true
  stop_dead_host_dns
  stop_nginx
  rm -rf "$work"
}
trap cleanup EXIT
export TARNWICK_CONFIG_DIR="$work/config"
mkdir -p "$TARNWICK_CONFIG_DIR"
start_dead_host_dns "$work/dns.log"

# Runs one mirror into a fresh folder under /usr/bin/time -v and appends
# "wall cpu peak_kb files requests [answer_ms client_ms]" to WORK/NAME.runs.
measure() {
  local name=$1 folder=$2 log="$work/$1.time" turns=
  shift 2
  rm -rf "$folder" "$folder.tkp"
  : > "$work/nginx/access.log"
  /usr/bin/time -v -o "$log" "$@" > "$work/$name.out" 2>&1 || true
  if [ -n "$relay_pid" ]; then
    kill -USR1 "$relay_pid"
    read -r -t 5 turns <&"${RELAY[0]}" || true
  fi
  awk -F': ' -v files="$(find "$folder" -type f 2> /dev/null | wc -l)" \
    -v requests="$(wc -l < "$work/nginx/access.log")" -v turns="$turns" '
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); for (i = 1; i <= n; i++) wall = wall * 60 + t[i] }
    /User time|System time/ { cpu += $2 }
    /Maximum resident set size/ { peak = $2 }
    END { print wall, cpu, peak, files, requests, turns }' "$log" >> "$work/$name.runs"
}

# Every tool on URL, ROUNDS times, then the fastest run of each.
compare() {
  local url=$1 round tools=(tarnwick)
  for round in $(seq "$rounds"); do
    measure tarnwick "$work/tarnwick" "$cli" mirror "$url" --into "$work/tarnwick" \
      --threads "$threads" --scope domain
    if [ -n "$no_head" ]; then
      measure tarnwick-no-head "$work/tarnwick" "$cli" mirror "$url" --into "$work/tarnwick" \
        --threads "$threads" --scope domain --no-head
    fi
    measure wget2 "$work/wget2" wget2 --mirror --page-requisites --convert-links --robots=off \
      --quiet --max-threads="$threads" -P "$work/wget2" "$url"
    if [ -n "$have_wget" ]; then
      measure wget "$work/wget" wget --mirror --page-requisites --convert-links -e robots=off \
        --no-verbose -P "$work/wget" "$url"
    fi
  done
  [ -n "$no_head" ] && tools+=(tarnwick-no-head)
  tools+=(wget2)
  [ -n "$have_wget" ] && tools+=(wget)
  printf '  %-17s %8s %8s %9s %7s %9s %9s%s\n' tool wall_s cpu_s peak_kb files requests x_wget2 \
    "${relay_pid:+ answer_ms client_ms}"
  local wget2_wall tool
  wget2_wall=$(sort -n "$work/wget2.runs" | head -1 | cut -d' ' -f1)
  for tool in "${tools[@]}"; do
    sort -n "$work/$tool.runs" | head -1 | awk -v tool="$tool" -v base="$wget2_wall" '{
      printf "  %-17s %8.2f %8.2f %9d %7d %9d %9.2f", tool, $1, $2, $3, $4, $5,
        (base > 0 ? $1 / base : 0)
      if (NF >= 7) printf " %9.2f %9.2f", $6, $7
      printf "\n" }'
  done
  rm -f "$work"/*.runs
}

serve() {
  stop_nginx
  start_nginx "$1" "$work/nginx"
}

for site in "${sites[@]}"; do
  case $site in
    generated)
      rm -rf "$work/site"
      python3 bench/make_site.py "$work/site" 20000 500 200 "$DEAD_HOST"
      serve "$work/site"
      echo "generated: 20000 pages, 500 images, 200 broken links, one image on $DEAD_HOST; $threads threads"
      compare "http://127.0.0.1:$NGINX_PORT/index.html"
      dead_host_lookups "$work/dns.log"
      ;;
    python-doc)
      serve /usr/share/doc/python3.11/html
      echo "python-doc: $(find -L /usr/share/doc/python3.11/html -type f | wc -l) files; $threads threads"
      compare "http://127.0.0.1:$NGINX_PORT/index.html"
      ;;
    delayed)
      rm -rf "$work/site"
      python3 bench/make_site.py "$work/site" 2000 100
      serve "$work/site"
      relay_port=$(free_loopback_port)
      coproc RELAY { exec python3 bench/delay_relay.py "$relay_port" "$NGINX_PORT" 20; }
      relay_pid=$RELAY_PID
      read -r _ <&"${RELAY[0]}"
      echo "delayed: 2000 pages, 100 images, 20 ms per round trip; $threads threads"
      compare "http://127.0.0.1:$relay_port/index.html"
      kill "$relay_pid" 2>/dev/null || true
      relay_pid=
      ;;
    *)
      echo "unknown site $site (generated, python-doc, delayed)" >&2
      exit 2
      ;;
  esac
done
