#!/usr/bin/env bash
# "Download all" against plain downloads of the same bytes, on loopback with curl: four shared
# files of a quarter of the total each (1 GiB in all), fetched once as the one streamed ZIP of
# "/archive" and once one after the other from "/download" over one keep-alive connection.
# Prints MB/s (10^6 bytes per second) of each, best of several runs, and their ratio; checks that
# the archive is exactly as long as announced and reads back with Python's zipfile.
#
# Usage: bench/web_zip.sh [build-dir]   (a Release build is best; default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
source ./cmake/packages.sh
source bench/webbench.sh
install_missing curl python3
web_bench_setup "${1:-build}" zip-bench

total=$((${ORVEX_BENCH_MIB:-1024} * 1024 * 1024))
runs=${ORVEX_BENCH_RUNS:-5}

echo "Preparing 4 files of $((total / 4 / 1024 / 1024)) MiB in $work ..."
files=()
for i in 1 2 3 4; do
    head -c $((total / 4)) /dev/urandom > "$work/share/part $i.bin"
    files+=("$work/share/part $i.bin")
done

start_web_server "${files[@]}"
key=$share_key
base="http://127.0.0.1:$port"


plain_time()
{
    local urls=() i
    for i in 1 2 3 4; do urls+=(-o /dev/null "$base/download/part%20$i.bin?key=$key"); done
    # One curl, one connection: the time of each transfer, added up.
    curl -s -f -w '%{time_total}\n' "${urls[@]}" | python3 -c 'import sys; print(sum(float(l) for l in sys.stdin))'
}

zip_time()
{
    curl -s -f -o /dev/null -w '%{time_total}\n' "$base/archive?key=$key"
}

# Taken in turns, so that both see the same machine when other work comes and goes.
echo "Downloading ($runs runs each, in turns, best kept) ..."
: > "$work/plain.times"
: > "$work/zip.times"
for _ in $(seq "$runs"); do
    plain_time >> "$work/plain.times"
    zip_time >> "$work/zip.times"
done
plain=$(best < "$work/plain.times")
zipped=$(best < "$work/zip.times")

# The archive once more, kept: exactly as long as announced, and every file in it intact.
announced=$(curl -s -f -I "$base/archive?key=$key" | awk 'tolower($1)=="content-length:"{print $2+0}')
curl -s -f -o "$work/all.zip" "$base/archive?key=$key"
[ "$(stat -c %s "$work/all.zip")" = "$announced" ] || { echo "archive length differs from Content-Length" >&2; exit 1; }
python3 - "$work/all.zip" "$work/share" <<'PY'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as archive:
    for info in archive.infolist():
        with open(os.path.join(sys.argv[2], info.filename), 'rb') as original:
            assert archive.read(info) == original.read(), info.filename
PY

echo
printf '%-52s %8s MB/s\n' "plain downloads, 4 files one after the other (curl)" "$(mbps "$total" "$plain")"
printf '%-52s %8s MB/s\n' "download all, one stored ZIP (curl)" "$(mbps "$total" "$zipped")"
printf '%-52s %8s\n' "  ratio ZIP / plain" "$(ratio "$zipped" "$plain")"
