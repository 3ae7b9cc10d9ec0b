#!/usr/bin/env bash
# Request rate of the HTTP server library against Debian's nginx, both on loopback serving the
# same small body, driven by wrk with keep-alive for 10 s each, in turns (ORVEX_BENCH_RUNS rounds,
# 3). Only 2xx answers count. One client address may hold a quarter of the server's 100 handler
# threads, 25 connections: wrk drives ORVEX_BENCH_CONNECTIONS (24) from 127.0.0.1, within that
# limit, so no connection is refused. Runs in a private network namespace of its own (only
# loopback), as every benchmark that connects does.
# Usage: bench/httpserver_vs_nginx.sh [build folder, default build]
# Installs wrk and nginx when missing (Debian, as root). Prints both rates of each round and
# their ratio, and the CPU time each server spent per answer.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${ORVEX_BENCH_IN_NAMESPACE:-}" ]; then
    exec unshare --net -- env ORVEX_BENCH_IN_NAMESPACE=1 sh -c 'ip link set lo up && exec "$@"' bench "$0" "$@"
fi
build=${1:-build}
server="$build/bench/bench_httpserver_listener"
[ -x "$server" ] || { echo "build bench_httpserver_listener first: cmake --build $build --target bench_httpserver_listener"; exit 1; }

source ./cmake/packages.sh
install_missing wrk nginx

body='Hello from Orvex
'
connections=${ORVEX_BENCH_CONNECTIONS:-24}
duration=10s
threads=2
runs=${ORVEX_BENCH_RUNS:-3}

work=$(mktemp -d)
chmod 755 "$work"
server_pid=
nginx_pid=
cleanup()
{
    set +e
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$work"
    true
}
trap cleanup EXIT

free_port()
{
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

# CPU time in clock ticks of the processes given and their children (nginx's workers).
cpu_ticks()
{
    local pid total=0
    for pid in "$@" $(pgrep -P "$(echo "$@" | tr ' ' ',')" || true); do
        [ -r "/proc/$pid/stat" ] || continue
        total=$((total + $(awk '{print $14 + $15}' "/proc/$pid/stat")))
    done
    echo "$total"
}

# Runs wrk against $1 and prints "2xx-rate non2xx socket-errors cpu-us-per-request": the rate
# counts only the 2xx answers (wrk's own rate counts every answer, refusals included); the CPU
# time is that of the server processes $2..., per 2xx answer. On a machine shared with other
# work the rates follow each server's share of the cores (many threads take more of them than
# nginx's two workers); the CPU per answer does not.
measure()
{
    local url=$1
    shift
    local out before after
    before=$(cpu_ticks "$@")
    out=$(wrk -t"$threads" -c"$connections" -d"$duration" "$url")
    after=$(cpu_ticks "$@")
    echo "$out" >&2
    local total seconds non2xx errors
    total=$(echo "$out" | sed -n 's/^ *\([0-9]*\) requests in \([0-9.]*\)\(m\?s\).*/\1/p')
    seconds=$(echo "$out" | sed -n 's/^ *[0-9]* requests in \([0-9.]*\)s,.*/\1/p')
    non2xx=$(echo "$out" | sed -n 's/^ *Non-2xx or 3xx responses: *//p')
    errors=$(echo "$out" | sed -n 's/^ *Socket errors: *//p' | tr -d ' ')
    local rate cpu
    rate=$(python3 -c "import sys; print('%.0f' % ((int(sys.argv[1]) - int(sys.argv[2])) / float(sys.argv[3])))" \
        "$total" "${non2xx:-0}" "$seconds")
    cpu=$(python3 -c "import os, sys; print('%.1f' % ((int(sys.argv[2]) - int(sys.argv[1])) * 1e6
        / os.sysconf('SC_CLK_TCK') / max(1, int(sys.argv[3]) - int(sys.argv[4]))))" "$before" "$after" "$total" "${non2xx:-0}")
    echo "$rate ${non2xx:-0} ${errors:-none} $cpu"
}

"$server" >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
for _ in $(seq 100); do
    grep -q '^port ' "$work/server.out" && break
    sleep 0.05
done
orvex_port=$(sed -n 's/^port //p' "$work/server.out")
[ -n "$orvex_port" ] || { cat "$work/server.err"; exit 1; }

nginx_port=$(free_port)
printf '%s' "$body" >"$work/hello.txt"
mkdir -p "$work/logs"
cat >"$work/nginx.conf" <<NGINX
worker_processes $threads;
pid $work/nginx.pid;
error_log $work/logs/error.log warn;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path $work/body;
    proxy_temp_path $work/proxy;
    fastcgi_temp_path $work/fastcgi;
    uwsgi_temp_path $work/uwsgi;
    scgi_temp_path $work/scgi;
    keepalive_requests 1000000;
    server {
        listen 127.0.0.1:$nginx_port;
        root $work;
        default_type text/plain;
    }
}
NGINX
/usr/sbin/nginx -p "$work" -c "$work/nginx.conf" -g 'daemon off;' 2>"$work/nginx.err" &
nginx_pid=$!
for _ in $(seq 100); do
    curl --noproxy '*' -s "http://127.0.0.1:$nginx_port/hello.txt" >/dev/null && break
    sleep 0.05
done

[ "$(curl --noproxy '*' -s "http://127.0.0.1:$orvex_port/hello.txt")" = "$(printf '%s' "$body")" ] || { echo "orvex body differs"; exit 1; }
[ "$(curl --noproxy '*' -s "http://127.0.0.1:$nginx_port/hello.txt")" = "$(printf '%s' "$body")" ] || { echo "nginx body differs"; cat "$work/nginx.err" "$work/logs/error.log" 2>/dev/null; exit 1; }

echo
echo "wrk -t$threads -c$connections -d$duration, keep-alive, body of ${#body} bytes; rates count 2xx answers only"
for round in $(seq "$runs"); do
    echo "== round $round: orvex (tarsel) on port $orvex_port" >&2
    read -r orvex_rate orvex_non2xx orvex_errors orvex_cpu < <(measure "http://127.0.0.1:$orvex_port/hello.txt" "$server_pid")
    echo "== round $round: nginx on port $nginx_port" >&2
    read -r nginx_rate nginx_non2xx nginx_errors nginx_cpu < <(measure "http://127.0.0.1:$nginx_port/hello.txt" "$nginx_pid")
    echo "round $round: orvex $orvex_rate 2xx/s (non-2xx: $orvex_non2xx, socket errors: $orvex_errors)," \
        "nginx $nginx_rate 2xx/s (non-2xx: $nginx_non2xx, socket errors: $nginx_errors)," \
        "ratio orvex/nginx $(python3 -c "print('%.2f' % ($orvex_rate / $nginx_rate))");" \
        "CPU per answer orvex $orvex_cpu us, nginx $nginx_cpu us, ratio nginx/orvex" \
        "$(python3 -c "print('%.2f' % ($nginx_cpu / $orvex_cpu))")"
done
