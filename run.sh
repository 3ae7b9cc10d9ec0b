#!/usr/bin/env bash
# Builds Orvex and starts it, installing the Debian packages it is missing first (run as root on
# Debian 12). On a machine without a desktop (no DISPLAY) it starts a virtual display with a
# system-tray host first, says so, and keeps the program running there: it still announces
# itself on the network and serves its web pages.
# With --package it builds the Debian package build/orvex_<version>_<arch>.deb instead of starting.
set -euo pipefail
cd "$(dirname "$0")"
source ./cmake/packages.sh

install_missing "${build_packages[@]}" "${run_packages[@]}"

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DORVEX_TESTS=OFF
cmake --build build -j"$(nproc)"

if [ "${1:-}" = "--package" ]; then
    (cd build && cpack -G DEB)
    echo "Built: $(ls build/orvex_*.deb)"
    exit 0
fi

if [ -z "${DISPLAY:-}" ]; then
    echo "No desktop found (DISPLAY is not set): starting Orvex on a virtual display (Xvfb) with a tray host (trayer)."
    state=$(mktemp -d /tmp/orvex-display.XXXXXX)
    exec 3>"$state/display"
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 >"$state/xvfb.log" 2>&1 &
    xvfb_pid=$!
    exec 3>&-
    until [ -s "$state/display" ]; do
        kill -0 "$xvfb_pid" 2>/dev/null || { echo "Xvfb failed to start, see $state/xvfb.log" >&2; exit 1; }
        sleep 0.1
    done
    export DISPLAY=":$(head -n1 "$state/display")"
    trayer --edge bottom --align right --widthtype request --height 32 >"$state/trayer.log" 2>&1 &
    tray_pid=$!
    trap 'kill "$tray_pid" "$xvfb_pid" 2>/dev/null' EXIT
    # Wait until the tray host owns the system-tray selection, so Orvex finds a tray.
    python3 - "$DISPLAY" <<'PY'
import ctypes, ctypes.util, sys, time
x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
display = x11.XOpenDisplay(sys.argv[1].encode())
atom = x11.XInternAtom(display, b"_NET_SYSTEM_TRAY_S0", 0)
for _ in range(200):
    if x11.XGetSelectionOwner(display, atom):
        sys.exit(0)
    time.sleep(0.05)
sys.exit("the tray host did not start")
PY
    echo "Virtual display $DISPLAY is ready; Orvex runs there until you stop it (Ctrl+C)."
    ./build/orvex
else
    exec ./build/orvex
fi
