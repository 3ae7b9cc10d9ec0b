#!/usr/bin/env bash
# Upload of a 1 GiB file on loopback the way the upload page sends it, against a plain dd of the
# same bytes into the same folder: one curl speaks the page's requests over one keep-alive
# connection, each after the previous answer: "status" (how much the computer holds), "begin",
# the 8 MiB chunks with "filename", "filesize" and "index", then "finish". Then, unless
# ORVEX_BENCH_BROWSER=0, the page itself in headless chromium (bench/upload_page.mjs, with
# --threshold for the one-request/chunks comparison when ORVEX_BENCH_THRESHOLD=1).
# Prints MB/s (10^6 bytes per second), best of ORVEX_BENCH_RUNS runs (5), and the ratio.
#
# Usage: bench/web_upload_page.sh [build-dir]   (a Release build is best; default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
source ./cmake/packages.sh
install_missing curl python3

build=$(realpath "${1:-build}")
server_bin="$build/bench_web_server"
[ -x "$server_bin" ] || cmake --build "$build" --target bench_web_server -j"$(nproc)"

size=$((${ORVEX_BENCH_MIB:-1024} * 1024 * 1024))
chunk=$((8 * 1024 * 1024))
runs=${ORVEX_BENCH_RUNS:-5}
work=$(mktemp -d "${ORVEX_BENCH_DIR:-/var/tmp}/orvex-upload-bench.XXXXXX")
mkdir -p "$work/in" "$work/chunks" "$work/answers"
server_pid=
cleanup()
{
    [ -n "$server_pid" ] && { exec 3>&-; wait "$server_pid" 2>/dev/null || true; }
    rm -rf "$work"
}
trap cleanup EXIT

echo "Preparing a file of $((size / 1024 / 1024)) MiB in $work ..."
head -c "$size" /dev/urandom > "$work/big.bin"

exec 3> >(ORVEX_BENCH_DOWNLOADS="$work/in" "$server_bin" > "$work/server.out" 2>/dev/null)
server_pid=$!
for _ in $(seq 100); do grep -q '^port ' "$work/server.out" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/^port /{print $2}' "$work/server.out")
[ -n "$port" ] || { echo "the web server did not start" >&2; exit 1; }
key=$(awk '/^receive-key /{print $2}' "$work/server.out")

# The chunks are cut beforehand, as a browser has the file at hand.
split -b "$chunk" -d -a 5 "$work/big.bin" "$work/chunks/part."
url="http://127.0.0.1:$port/hugefile"
call()
{
    printf 'url = "%s"\ncookie = "orvex_receive=%s"\nform = "action=show"\n' "$url" "$key"
    printf 'form = "filename=up.bin"\nform = "filesize=%d"\n' "$size"
}
{
    call
    printf 'form = "status=status"\noutput = "%s"\nnext\n' "$work/answers/status"
    call
    printf 'form = "begin=begin"\noutput = "%s"\n' "$work/answers/begin"
    i=0
    for part in "$work/chunks/"part.*; do
        printf 'next\n'
        call
        printf 'form = "index=%d"\nform = "data=@%s;filename=blob"\noutput = "%s"\n' "$i" "$part" \
            "$work/answers/chunk$i"
        i=$((i + 1))
    done
    printf 'next\n'
    call
    printf 'form = "finish=finish"\noutput = "%s"\n' "$work/answers/finish"
} > "$work/page.curl"

now() { date +%s.%N; }
elapsed() { python3 -c "import sys; print(float(sys.argv[2]) - float(sys.argv[1]))" "$1" "$2"; }
best() { sort -g | head -n1; }

page_protocol_time()
{
    rm -f "$work/in/"* "$work/answers/"*
    sync
    local start end answer
    start=$(now)
    curl -s -f -K "$work/page.curl"
    end=$(now)
    for answer in "$work/answers/"*; do
        grep -q '"ok":true' "$answer" || { echo "upload failed: $(cat "$answer")" >&2; exit 1; }
    done
    elapsed "$start" "$end"
}

dd_time()
{
    rm -f "$work/in/"*
    sync
    local start end
    start=$(now)
    dd if="$work/big.bin" of="$work/in/dd.bin" bs=1M status=none
    end=$(now)
    elapsed "$start" "$end"
}

echo "Uploading ($runs runs each, best kept) ..."
page_up=$(for _ in $(seq "$runs"); do page_protocol_time; done | best)
cmp "$work/in/up.bin" "$work/big.bin"
plain_dd=$(for _ in $(seq "$runs"); do dd_time; done | best)

mbps() { python3 -c "import sys; print(f'{$size / float(sys.argv[1]) / 1e6:.0f}')" "$1"; }
ratio() { python3 -c "import sys; print(f'{float(sys.argv[2]) / float(sys.argv[1]):.2f}')" "$1" "$2"; }
echo
printf '%-44s %8s MB/s\n' "upload, the page's requests (curl)" "$(mbps "$page_up")"
printf '%-44s %8s MB/s\n' "plain dd of the same bytes, same folder" "$(mbps "$plain_dd")"
printf '%-44s %8s\n' "  ratio page's requests / dd" "$(ratio "$page_up" "$plain_dd")"

if [ "${ORVEX_BENCH_BROWSER:-1}" != 0 ]; then
    echo
    threshold=()
    [ "${ORVEX_BENCH_THRESHOLD:-0}" = 1 ] && threshold=(--threshold)
    node bench/upload_page.mjs "$build" "${threshold[@]}"
fi
