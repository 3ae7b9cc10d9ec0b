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
install_missing curl python3

build=$(realpath "${1:-build}")
server_bin="$build/bench_web_server"
[ -x "$server_bin" ] || cmake --build "$build" --target bench_web_server -j"$(nproc)"

total=$((${ORVEX_BENCH_MIB:-1024} * 1024 * 1024))
runs=${ORVEX_BENCH_RUNS:-5}
work=$(mktemp -d "${ORVEX_BENCH_DIR:-/var/tmp}/orvex-zip-bench.XXXXXX")
mkdir -p "$work/share" "$work/in"
server_pid=
cleanup()
{
    [ -n "$server_pid" ] && { exec 3>&-; wait "$server_pid" 2>/dev/null || true; }
    rm -rf "$work"
}
trap cleanup EXIT

echo "Preparing 4 files of $((total / 4 / 1024 / 1024)) MiB in $work ..."
files=()
for i in 1 2 3 4; do
    head -c $((total / 4)) /dev/urandom > "$work/share/part $i.bin"
    files+=("$work/share/part $i.bin")
done

exec 3> >(ORVEX_BENCH_DOWNLOADS="$work/in" "$server_bin" "${files[@]}" > "$work/server.out" 2>/dev/null)
server_pid=$!
for _ in $(seq 100); do grep -q '^port ' "$work/server.out" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/^port /{print $2}' "$work/server.out")
[ -n "$port" ] || { echo "the web server did not start" >&2; exit 1; }
key=$(awk '/^share-key /{print $2}' "$work/server.out")
base="http://127.0.0.1:$port"

best() { sort -g | head -n1; }
mbps() { python3 -c "import sys; print(f'{$total / float(sys.argv[1]) / 1e6:.0f}')" "$1"; }

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
printf '%-52s %8s MB/s\n' "plain downloads, 4 files one after the other (curl)" "$(mbps "$plain")"
printf '%-52s %8s MB/s\n' "download all, one stored ZIP (curl)" "$(mbps "$zipped")"
printf '%-52s %8s\n' "  ratio ZIP / plain" "$(python3 -c "import sys; print(f'{float(sys.argv[1]) / float(sys.argv[2]):.2f}')" "$plain" "$zipped")"
