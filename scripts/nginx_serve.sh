# Serves a folder with an nginx of its own on a free loopback port: its
# config, logs and pid file live in a work folder, and it runs in the
# foreground as one process, so no system service is touched. Source this
# file, then:
#   start_nginx ROOT WORKDIR   sets NGINX_PORT and NGINX_PID; logs requests
#                              to WORKDIR/access.log; NGINX_DIRECTIVES, when
#                              set, goes into the server block (limit_rate),
#                              NGINX_HTTP_DIRECTIVES into the http block
#                              (log_format)
#   stop_nginx                 stops it again

find_nginx() {
  command -v nginx 2>/dev/null || { [ -x /usr/sbin/nginx ] && echo /usr/sbin/nginx; }
}

free_loopback_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

start_nginx() {
  local root work nginx attempt
  root=$(cd "$1" && pwd)
  work=$2
  nginx=$(find_nginx) || { echo "nginx is not installed" >&2; return 1; }
  mkdir -p "$work"
  for attempt in 1 2 3 4 5; do
    NGINX_PORT=$(free_loopback_port)
    cat > "$work/nginx.conf" <<CONF
daemon off;
master_process off;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 1024; }
http {
  access_log $work/access.log;
  client_body_temp_path $work/client_body;
  proxy_temp_path $work/proxy;
  fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi;
  scgi_temp_path $work/scgi;
  types {
    text/html html htm; text/css css; image/png png; image/svg+xml svg;
  }
  default_type application/octet-stream;
  ${NGINX_HTTP_DIRECTIVES:-}
  server {
    listen 127.0.0.1:$NGINX_PORT;
    root $root;
    ${NGINX_DIRECTIVES:-}
  }
}
CONF
    "$nginx" -p "$work/" -e "$work/error.log" -c "$work/nginx.conf" > "$work/nginx.out" 2>&1 &
    NGINX_PID=$!
    for _ in $(seq 50); do
      if ! kill -0 "$NGINX_PID" 2>/dev/null; then break; fi
      if (exec 3<>"/dev/tcp/127.0.0.1/$NGINX_PORT") 2>/dev/null; then return 0; fi
      sleep 0.1
    done
    stop_nginx
  done
  echo "nginx did not start:" >&2
  cat "$work/error.log" "$work/nginx.out" >&2 2>/dev/null
  return 1
}

stop_nginx() {
  if [ -n "${NGINX_PID:-}" ]; then
    kill "$NGINX_PID" 2>/dev/null || true
    wait "$NGINX_PID" 2>/dev/null || true
    NGINX_PID=
  fi
}
