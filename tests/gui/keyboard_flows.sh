#!/usr/bin/env bash
# The main flows done with the keyboard alone, on two Orvex instances on a private LAN under a
# virtual display with a tray host: change a setting, send a file to the other device and accept
# it there, share a file on the web page and upload one through it. Every key goes through
# `xdotool key`; no pointer is moved. Screenshots land in OUT.
#
#   tests/gui/keyboard_flows.sh BUILD_DIR [OUT]      (root; run by hand, not under ctest)
#
# ORVEX_TOOLS names the folder with xvfb-tray-start.sh and netns-lan.sh; ORVEX_LANG (zh_CN or
# en_US) and ORVEX_SCALE (QT_SCALE_FACTOR) choose the language and the scale.
# No window manager runs there, so a new window is given the focus with `xdotool windowfocus`,
# as a window manager would give it; that is the only step that is not a key.
set -euo pipefail

build=$(realpath "$1")
out=$(realpath -m "${2:-keyboard-flows}")
tools=${ORVEX_TOOLS:-$(dirname "$0")/../../../shared/tools}
lang=${ORVEX_LANG:-zh_CN}
scale=${ORVEX_SCALE:-1}
mkdir -p "$out"
work=$(mktemp -d)

size=1366x768x24
[ "$scale" = 2 ] && size=2732x1536x24
eval "$("$tools/xvfb-tray-start.sh" --size "$size")"
"$tools/netns-lan.sh" up 2 >/dev/null
cleanup() {
    for p in "${pid[@]}"; do kill "$p" 2>/dev/null || true; done
    "$tools/netns-lan.sh" down >/dev/null 2>&1 || true
    "$tools/xvfb-tray-stop.sh" "$E2E_X11_STATE" >/dev/null 2>&1 || true
    rm -rf "$work"
}
declare -A pid
trap cleanup EXIT
for i in 1 2; do
    home=$work/host$i
    mkdir -p "$home/run" && chmod 700 "$home/run"
    "$tools/netns-lan.sh" exec $i env DISPLAY="$DISPLAY" HOME="$home" XDG_RUNTIME_DIR="$home/run" \
        XDG_CONFIG_HOME="$home/.config" LANG="$lang.UTF-8" LANGUAGE="$lang" QT_SCALE_FACTOR="$scale" \
        ASAN_OPTIONS=detect_leaks=0 "$build/orvex" >"$home/log" 2>&1 &
    for _ in $(seq 100); do
        pid[$i]=$(pgrep -f "^$build/orvex\$" | grep -vxF "${pid[1]:-none}" | head -n1 || true)
        [ -n "${pid[$i]}" ] && xdotool search --onlyvisible --pid "${pid[$i]}" >/dev/null 2>&1 && break
        sleep 0.1
    done
done

shot() { import -window root "$out/$1.png"; }
# The newest visible window of a host whose title matches (grep -E), focused. The titles are
# compared as xdotool prints them: its own search reads the Latin-1 title, not the UTF-8 one. The
# tray icon's window (as small as an icon) and its message balloon are not ones.
find_window() {
    local host=$1 title=$2 w= c
    for c in $(xdotool search --onlyvisible --pid "${pid[$host]}" 2>/dev/null); do
        xdotool getwindowname "$c" 2>/dev/null | grep -qE "$title" || continue
        xprop -id "$c" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q TOOLTIP && continue
        [ "$(xdotool getwindowgeometry "$c" 2>/dev/null | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')" -gt 64 ] && w=$c
    done
    [ -n "$w" ] && echo "$w"
}
window() {
    local w=
    for _ in $(seq 100); do
        w=$(find_window "$1" "$2") && break
        sleep 0.1
    done
    [ -n "$w" ] || { echo "no window '$2' on host $1" >&2; exit 1; }
    xdotool windowraise "$w" windowfocus --sync "$w"
    # Qt takes the activation a moment after the X server moves the focus.
    sleep 0.3
    echo "$w"
}
keys() { xdotool key --delay 60 "$@"; }
wait_for() { for _ in $(seq 150); do eval "$1" && return 0; sleep 0.2; done; echo "timed out: $1" >&2; exit 1; }

main=$([ "$lang" = zh_CN ] && echo 'Orvex-' || echo 'Orvex -')

# 1. A setting: the device name, saved with Enter.
window 1 "$main" >/dev/null
keys ctrl+3 Tab ctrl+a
xdotool type --delay 30 study
shot 1-settings
keys Return
window 1 "^Orvex$|提示信息|Notice" >/dev/null
keys Return
wait_for "grep -q '^deviceName=study' '$work/host1/.config/Orvex/Orvex.conf'"

# 2. A file to the other device: the row's button, the file chooser, send; accept on the other side.
head -c 3000000 /dev/urandom >"$work/host1/report.bin"
window 1 "$main" >/dev/null
keys ctrl+1 Tab Tab Tab Tab Tab Tab space
window 1 '发送文件|Send files' >/dev/null
keys space Down Return
window 1 '选择要发送的文件|Choose files to send' >/dev/null
xdotool type --delay 30 report.bin
keys Return
window 1 '发送文件|Send files' >/dev/null
shot 2-send-window
keys Tab Tab space
window 2 '^Orvex$' >/dev/null
shot 3-offer
keys shift+Tab space
wait_for "cmp -s '$work/host1/report.bin' \"\$(find '$work/host2' -name report.bin | head -n1)\""
shot 4-received
# The end of the send closes its box by itself; Escape then closes the send window.
wait_for "! find_window 1 '^Orvex\$' >/dev/null"
window 1 '^(发送文件|Send files)$' >/dev/null
keys Escape
wait_for "! find_window 1 '^(发送文件|Send files)\$' >/dev/null"

# 3. Web send: the page's first button, a file, the link; the other host downloads it.
window 1 "$main" >/dev/null
keys ctrl+2 Tab space
window 1 '^(发送文件|Send files)$' >/dev/null
keys space
window 1 '打开文件|Open files' >/dev/null
xdotool type --delay 30 report.bin
keys Return
window 1 '^(发送文件|Send files)$' >/dev/null
keys Tab space
shot 5-web-send
link=$(zbarimg --raw -q "$out/5-web-send.png" | head -n1)
"$tools/netns-lan.sh" exec 2 curl -sf -c "$work/cookies" "$link" | grep -q report.bin
keys ctrl+w
wait_for "! find_window 1 '^(发送文件|Send files)\$' >/dev/null"

# 4. Web receive: the page's second button, start; a file uploaded from the other host arrives.
head -c 100000 /dev/urandom >"$work/upload.bin"
window 1 "$main" >/dev/null
keys ctrl+2 Tab Tab space
window 1 '^(接收文件|Receive files)$' >/dev/null
keys space
shot 6-web-receive
link=$(zbarimg --raw -q "$out/6-web-receive.png" | head -n1)
key=${link##*/r/}
"$tools/netns-lan.sh" exec 2 curl -sf -F action=show -F filename=upload.bin -F "data=@$work/upload.bin" \
    "${link%/r/*}/file?key=$key" >/dev/null
wait_for "cmp -s '$work/upload.bin' \"\$(find '$work/host1' -name upload.bin | head -n1)\""
shot 7-web-received
keys ctrl+w
echo "flows done; screenshots in $out"
