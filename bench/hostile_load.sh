#!/usr/bin/env bash
# The web server under hostile load on loopback, for 60 s at once:
#   normal clients fetching pages ("/list", "/file", "/hugefile", not found) and downloading
#   shared files (100 KiB and 4 MiB); 50 connections whose upload body trickles in a byte a
#   second; 25 connections from each of 4 addresses uploading without a key at 1100 bytes a
#   second (above the server's minimum body rate), starting again whenever answered; 20
#   downloads a second of a 256 MiB file reset after 256 KiB; garbage requests; oversized URLs,
#   headers, header counts, lengths and form fields.
# Reports the normal clients' success rate (503 under real overload counted apart) and p99
# latency, and the server's resident memory and thread count before, at the peak and 30 s after.
# Targets: every normal request answered, p99 < 1 s, memory within 50 MB of the start 30 s
# after, threads back to the handler pool's minimum after its cleanup (70 s after).
# The normal clients (all with the links' keys) come from 127.0.0.2, the cancelled downloads
# from 127.0.0.3, the slow uploads without a key from 127.0.0.4 to 127.0.0.7 and the other
# attackers from 127.0.0.1: devices of their own, as the server shares its handlers per address.
#
# Usage: bench/hostile_load.sh [build-dir]   (a Release build: cmake -S . -B build-rel
#        -DCMAKE_BUILD_TYPE=Release -DORVEX_TESTS=OFF; default build-rel)
# ORVEX_HOSTILE_DURATION and ORVEX_HOSTILE_SETTLE change the 60 s and 30 s; ORVEX_HOSTILE_ARGS
# passes more options to bench/hostile_load.py (e.g. "--slow 0 --garbage 0 --oversized 0" for
# normal clients and reset downloads alone).
set -euo pipefail
cd "$(dirname "$0")/.."
source ./cmake/packages.sh
source bench/webbench.sh
install_missing python3
web_bench_setup "${1:-build-rel}" hostile

head -c $((100 * 1024)) /dev/urandom > "$work/share/small.bin"
head -c $((4 * 1024 * 1024)) /dev/urandom > "$work/share/medium.bin"
# Sparse: the server reads it all the same, the disk keeps nothing.
truncate -s 256M "$work/share/big.bin"

start_web_server "$work/share/small.bin" "$work/share/medium.bin" "$work/share/big.bin"
[ "$(readlink "/proc/$server_pid/exe")" = "$(realpath "$server_bin")" ] || { echo "cannot find the server's process" >&2; exit 1; }
sleep 1 # let it settle at its idle size

echo "Hostile load on port $port (server pid $server_pid) ..."
python3 bench/hostile_load.py "$server_pid" "$port" --share-key "$share_key" --receive-key "$receive_key" \
    --duration "${ORVEX_HOSTILE_DURATION:-60}" --settle "${ORVEX_HOSTILE_SETTLE:-30}" ${ORVEX_HOSTILE_ARGS:-}
