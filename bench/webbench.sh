# Sourced by the web benchmark scripts, from the repository's root: the benchmark server on files
# of the caller's, a work folder removed on exit, and the timing helpers they share.
# Sizes are reported in MB/s, 10^6 bytes per second.

# web_bench_setup BUILD_FOLDER NAME: builds the benchmark server when missing; makes $work with
# in/ and share/; the server and the folder go when the script ends (and bench_cleanup_more, if
# the caller defines it, runs first).
web_bench_setup()
{
    build=$(realpath "$1")
    server_bin="$build/bench_web_server"
    [ -x "$server_bin" ] || cmake --build "$build" --target bench_web_server -j"$(nproc)"
    work=$(mktemp -d "${ORVEX_BENCH_DIR:-/var/tmp}/orvex-$2.XXXXXX")
    mkdir -p "$work/share" "$work/in" "$work/answers"
    server_pid=
    trap web_bench_cleanup EXIT
}

web_bench_cleanup()
{
    if declare -F bench_cleanup_more >/dev/null; then bench_cleanup_more; fi
    [ -n "$server_pid" ] && { exec 3>&-; wait "$server_pid" 2>/dev/null || true; }
    rm -rf "$work"
}

# start_web_server FILE...: shares the files, receives into $work/in; sets port, share_key and
# receive_key. The server stops when its standard input (fd 3) closes.
start_web_server()
{
    exec 3> >(ORVEX_BENCH_DOWNLOADS="$work/in" exec "$server_bin" "$@" > "$work/server.out" 2>/dev/null)
    server_pid=$!
    for _ in $(seq 100); do grep -q '^port ' "$work/server.out" 2>/dev/null && break; sleep 0.1; done
    port=$(awk '/^port /{print $2}' "$work/server.out")
    [ -n "$port" ] || { echo "the web server did not start" >&2; exit 1; }
    share_key=$(awk '/^share-key /{print $2}' "$work/server.out")
    receive_key=$(awk '/^receive-key /{print $2}' "$work/server.out")
}

now() { date +%s.%N; }
elapsed() { python3 -c "import sys; print(float(sys.argv[2]) - float(sys.argv[1]))" "$1" "$2"; }
best() { sort -g | head -n1; }
# mbps BYTES SECONDS
mbps() { python3 -c "import sys; print(f'{int(sys.argv[1]) / float(sys.argv[2]) / 1e6:.0f}')" "$1" "$2"; }
# ratio SECONDS_A SECONDS_B: the rate of A over that of B
ratio() { python3 -c "import sys; print(f'{float(sys.argv[2]) / float(sys.argv[1]):.2f}')" "$1" "$2"; }

# curl_upload_time CONFIG: the seconds one curl takes for the requests of a config file whose
# answers go to $work/answers/; every answer must say "ok".
curl_upload_time()
{
    rm -f "$work/in/"* "$work/answers/"*
    sync
    local start end answer
    start=$(now)
    curl -s -f -K "$1"
    end=$(now)
    for answer in "$work/answers/"*; do
        grep -q '"ok":true' "$answer" || { echo "upload failed: $(cat "$answer")" >&2; exit 1; }
    done
    elapsed "$start" "$end"
}

# dd_time FILE: the seconds a plain copy of the file into $work/in takes.
dd_time()
{
    rm -f "$work/in/"*
    sync
    local start end
    start=$(now)
    dd if="$1" of="$work/in/dd.bin" bs=1M status=none
    end=$(now)
    elapsed "$start" "$end"
}
