# Sourced by the benchmarks: a host that does not resolve, answered as the
# real web answers it. The benchmark runs in a network namespace of its own
# whose resolv.conf (bind-mounted by `ip netns exec` from
# /etc/netns/NAME/resolv.conf) names a local server that answers every name
# NXDOMAIN at once (bench/nxdomain_dns.py); loopback works as before.
#   enter_bench_netns SCRIPT ARGS...  runs the script again inside a new
#                                     namespace and exits with its status;
#                                     returns, doing nothing, when already
#                                     inside or without the rights to make one
#   start_dead_host_dns LOG           inside: starts the server, names to LOG
#   stop_dead_host_dns
#   dead_host_lookups LOG             prints how often the dead host was asked
#                                     for since the last call
DEAD_HOST=pics.tarnwick.invalid
dead_host_dns_pid=

enter_bench_netns() {
  [ -z "${TARNWICK_BENCH_NETNS:-}" ] && [ "$(id -u)" = 0 ] && command -v ip > /dev/null ||
    return 0
  local name="tarnwick-bench-$$" status=0
  ip netns add "$name" 2> /dev/null || return 0
  mkdir -p "/etc/netns/$name"
  echo "nameserver 127.0.0.1" > "/etc/netns/$name/resolv.conf"
  ip netns exec "$name" ip link set lo up
  TARNWICK_BENCH_NETNS=$name ip netns exec "$name" "$@" || status=$?
  ip netns delete "$name"
  rm -rf "/etc/netns/$name"
  exit "$status"
}

start_dead_host_dns() {
  [ -n "${TARNWICK_BENCH_NETNS:-}" ] || {
    echo "note: no network namespace (needs root); $DEAD_HOST goes to the system's resolver" >&2
    return 0
  }
  coproc DEAD_DNS { exec python3 bench/nxdomain_dns.py 127.0.0.1 "$1"; }
  dead_host_dns_pid=$DEAD_DNS_PID
  read -r _ <&"${DEAD_DNS[0]}"
}

stop_dead_host_dns() {
  [ -n "$dead_host_dns_pid" ] && kill "$dead_host_dns_pid" 2> /dev/null || true
  dead_host_dns_pid=
}

dead_host_lookups() {
  [ -f "$1" ] || return 0
  echo "  queries for $DEAD_HOST (A and AAAA) over all runs: $(grep -c -x "$DEAD_HOST" "$1")"
  : > "$1"
}
