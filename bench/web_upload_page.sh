#!/usr/bin/env bash
# Upload of a 1 GiB file on loopback the way the upload page sends it, against a plain dd of the
# same bytes into the same folder: one curl speaks the page's requests over one keep-alive
# connection, each after the previous answer: "status" (how much the computer holds), "begin",
# the chunks with "filename", "filesize" and "index", then "finish". The page sends each chunk
# as the request's body with the fields in the query; ORVEX_BENCH_CHUNKS=multipart sends them as
# the multipart field "data" instead, as earlier versions of the page did. The chunks have the sizes
# the page gives them on a link this fast: 8 MiB, then 64 MiB (its largest). Then, unless
# ORVEX_BENCH_BROWSER=0, the page itself in headless chromium (bench/upload_page.mjs, with
# --threshold for the one-request/chunks comparison when ORVEX_BENCH_THRESHOLD=1).
# Prints MB/s (10^6 bytes per second), best of ORVEX_BENCH_RUNS runs (5), and the ratio.
#
# Usage: bench/web_upload_page.sh [build-dir]   (a Release build is best; default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
source ./cmake/packages.sh
source bench/webbench.sh
install_missing curl python3
web_bench_setup "${1:-build}" upload-bench
mkdir -p "$work/chunks"

size=$((${ORVEX_BENCH_MIB:-1024} * 1024 * 1024))
first_chunk=$((8 * 1024 * 1024))
chunk=$((64 * 1024 * 1024))
runs=${ORVEX_BENCH_RUNS:-5}

echo "Preparing a file of $((size / 1024 / 1024)) MiB in $work ..."
head -c "$size" /dev/urandom > "$work/big.bin"
start_web_server
key=$receive_key

# The chunks are cut beforehand, as a browser has the file at hand.
head -c "$first_chunk" "$work/big.bin" > "$work/chunks/part.00000"
tail -c +$((first_chunk + 1)) "$work/big.bin" | split -b "$chunk" -d -a 5 --numeric-suffixes=1 - "$work/chunks/part."
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
        if [ "${ORVEX_BENCH_CHUNKS:-body}" = multipart ]; then
            call
            printf 'form = "index=%d"\nform = "data=@%s;filename=blob"\n' "$i" "$part"
        else
            printf 'url = "%s?action=show&filename=up.bin&filesize=%d&index=%d"\ncookie = "orvex_receive=%s"\n' \
                "$url" "$size" "$i" "$key"
            # Streamed from the file, as a browser sends a slice of it (data-binary would first
            # gather all of it in curl's memory, growing its buffer step by step).
            printf 'header = "Content-Type: application/octet-stream"\nrequest = "POST"\nupload-file = "%s"\n' "$part"
        fi
        printf 'output = "%s"\n' "$work/answers/chunk$i"
        i=$((i + 1))
    done
    printf 'next\n'
    call
    printf 'form = "finish=finish"\noutput = "%s"\n' "$work/answers/finish"
} > "$work/page.curl"

# In turns, so that both meet the machine in the same states; every upload is compared.
echo "Uploading ($runs rounds of the page's requests and dd in turns, best of each kept) ..."
page_times=
dd_times=
for _ in $(seq "$runs"); do
    page_times+="$(curl_upload_time "$work/page.curl")"$'\n'
    cmp "$work/in/up.bin" "$work/big.bin"
    dd_times+="$(dd_time "$work/big.bin")"$'\n'
done
page_up=$(printf '%s' "$page_times" | best)
plain_dd=$(printf '%s' "$dd_times" | best)

echo
printf '%-44s %8s MB/s\n' "upload, the page's requests (curl)" "$(mbps "$size" "$page_up")"
printf '%-44s %8s MB/s\n' "plain dd of the same bytes, same folder" "$(mbps "$size" "$plain_dd")"
printf '%-44s %8s\n' "  ratio page's requests / dd" "$(ratio "$page_up" "$plain_dd")"

if [ "${ORVEX_BENCH_BROWSER:-1}" != 0 ]; then
    echo
    threshold=()
    [ "${ORVEX_BENCH_THRESHOLD:-0}" = 1 ] && threshold=(--threshold)
    node bench/upload_page.mjs "$build" "${threshold[@]}"
fi
