#!/usr/bin/env bash
# Mirrors the same sites with tarnwick-cli, Wget2 and (where installed) GNU
# Wget in one run and prints the wall time, the CPU time (user + system), the
# peak memory, the files saved and the requests that nginx logged for each;
# on the delayed site also the relay's mean time from a request to its answer
# (answer_ms) and the tool's own from an answer to its next request
# (client_ms), so that a tool's time per URL can be taken apart. Every site
# also prints the bytes that nginx sent to each tool ($bytes_sent, heads
# included).
#   bench/compare.sh [SITE ...]       SITE: generated, python-doc, delayed,
#                                     python-doc-gzip, update
#     generated   20 000 pages, 500 images, 200 links to missing pages, one
#                 image on a host that does not resolve (bench/dead_host.sh:
#                 as root, everything runs in a network namespace whose name
#                 server answers NXDOMAIN)
#     python-doc  the Python 3.11 manual (Debian package python3.11-doc)
#     delayed     2 000 pages, 100 images, 20 ms added to every round trip
#     python-doc-gzip  the manual again, nginx compressing what it serves
#     update      the delayed site mirrored, 5 % of its files changed on the
#                 server, then mirrored again into the same folder: requests,
#                 bytes and wall time of the second run (Wget2 --timestamping)
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
[ ${#sites[@]} -gt 0 ] || sites=(generated python-doc delayed python-doc-gzip update)

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

# ---- bytes sent per tool ----
# A second access log with nginx's count of the bytes of each answer.
export NGINX_HTTP_DIRECTIVES="log_format sent '\$bytes_sent'; access_log $work/nginx/sent.log sent;"

# Starts the bytes of NAME's next run afresh.
reset_sent() {
  : > "$work/nginx/sent.log"
}

# Appends the bytes sent since reset_sent to WORK/NAME.sent.
note_sent() {
  awk '{ sum += $1 } END { print sum + 0 }' "$work/nginx/sent.log" >> "$work/$1.sent"
}

# Each tool's bytes (of its first round), and their share of Wget2's.
print_sent() {
  local tool base
  base=$(head -1 "$work/wget2.sent" 2> /dev/null || echo 0)
  printf '  %-17s %12s %9s\n' tool bytes_sent x_wget2
  for tool in "$@"; do
    head -1 "$work/$tool.sent" | awk -v tool="$tool" -v base="$base" '{
      printf "  %-17s %12d %9.2f\n", tool, $1, (base > 0 ? $1 / base : 0) }'
  done
  rm -f "$work"/*.sent
}

# Runs one mirror into a fresh folder under /usr/bin/time -v and appends
# "wall cpu peak_kb files requests [answer_ms client_ms]" to WORK/NAME.runs.
measure() {
  rm -rf "$2" "$2.tkp"
  measure_again "$@"
}

# The same over what FOLDER already holds: a tool's update of its mirror.
measure_again() {
  local name=$1 folder=$2 log="$work/$1.time" turns=
  shift 2
  : > "$work/nginx/access.log"
  reset_sent
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
  note_sent "$name"
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
  print_sent "${tools[@]}"
}

serve() {
  stop_nginx
  start_nginx "$1" "$work/nginx"
}

# ---- the Python manual compressed ----
# nginx compresses pages, style sheets, scripts and SVG, as a site set up for
# it does; the types are those that gzip_types names.
serve_compressed() {
  NGINX_DIRECTIVES="types { text/html html htm; text/css css; image/png png;
    image/svg+xml svg; application/javascript js; }
    gzip on; gzip_types text/css application/javascript image/svg+xml;" serve "$1"
}

# ---- the update of a finished mirror ----
# The site's files at one time, so that every tool's first run sees the same.
site_at_fixed_time() {
  find "$work/site" -type f -exec touch -d @1700000000 {} +
}

# Every 20th file gets a later time, and a page among them a paragraph more.
change_some_files() {
  find "$work/site" -type f | sort | awk 'NR % 20 == 0' | while read -r file; do
    case $file in *.html) echo '<p>changed</p>' >> "$file" ;; esac
    touch -d @1700086400 "$file"
  done
}

# The command of TOOL's mirror of URL into FOLDER, in the array mirror_command:
# /usr/bin/time runs programs, not shell functions.
set_mirror_command() {
  local tool=$1 folder=$2 url=$3
  case $tool in
    tarnwick*)
      mirror_command=("$cli" mirror "$url" --into "$folder" --threads "$threads" --scope domain) ;;
    wget2)
      mirror_command=(wget2 --mirror --page-requisites --convert-links --robots=off --quiet
        --max-threads="$threads" -P "$folder" "$url") ;;
  esac
}

# Each tool mirrors the fresh site, 5 % of it changes, and the tool updates
# its mirror; the update's requests, bytes and wall time are printed.
update_compare() {
  local url=$1 tool mirror_command
  for tool in tarnwick tarnwick-no-head wget2; do
    rm -rf "$work/site"
    python3 bench/make_site.py "$work/site" 2000 100 > /dev/null
    site_at_fixed_time
    set_mirror_command "$tool" "$work/$tool" "$url"
    measure first "$work/$tool" "${mirror_command[@]}"
    change_some_files
    case $tool in
      tarnwick-no-head) mirror_command+=(--no-head) ;;
      wget2) mirror_command+=(--timestamping) ;;
    esac
    measure_again "$tool" "$work/$tool" "${mirror_command[@]}"
    # What the update asked: "GET 304", "HEAD 200", ... with their counts.
    awk '{ print substr($6, 2) "_" $9 }' "$work/nginx/access.log" | sort | uniq -c | sort -rn |
      awk -v tool="$tool" '{ line = line " " $2 "x" $1 } END { print "  " tool " answers:" line }'
  done
  printf '  %-17s %8s %9s %12s %9s\n' tool wall_s requests bytes_sent x_wget2
  local wget2_wall
  wget2_wall=$(cut -d' ' -f1 "$work/wget2.runs")
  for tool in tarnwick tarnwick-no-head wget2; do
    paste -d' ' "$work/$tool.runs" "$work/$tool.sent" | awk -v tool="$tool" -v base="$wget2_wall" '{
      printf "  %-17s %8.2f %9d %12d %9.2f\n", tool, $1, $5, $NF, (base > 0 ? $1 / base : 0) }'
  done
  rm -f "$work"/*.runs "$work"/*.sent
}

# Sets relay_port and relay_pid: a relay to nginx that adds MS to each round trip.
start_relay() {
  relay_port=$(free_loopback_port)
  coproc RELAY { exec python3 bench/delay_relay.py "$relay_port" "$NGINX_PORT" "$1"; }
  relay_pid=$RELAY_PID
  read -r _ <&"${RELAY[0]}"
}

stop_relay() {
  kill "$relay_pid" 2>/dev/null || true
  relay_pid=
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
    python-doc-gzip)
      serve_compressed /usr/share/doc/python3.11/html
      echo "python-doc-gzip: the manual with gzip on; $threads threads"
      compare "http://127.0.0.1:$NGINX_PORT/index.html"
      ;;
    update)
      rm -rf "$work/site"
      mkdir -p "$work/site"
      serve "$work/site"
      start_relay 20
      echo "update: 2000 pages, 100 images, 5 % changed, 20 ms per round trip; $threads threads"
      update_compare "http://127.0.0.1:$relay_port/index.html"
      stop_relay
      ;;
    *)
      echo "unknown site $site (generated, python-doc, delayed, python-doc-gzip, update)" >&2
      exit 2
      ;;
  esac
done
