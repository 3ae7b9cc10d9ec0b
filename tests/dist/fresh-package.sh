#!/usr/bin/env bash
# The package on a pristine Debian 12 root: builds it with the README's command, installs it with
# apt, starts the installed orvex on a virtual display with a tray host in a private network
# namespace, checks the main window and a page from the installed data folder, removes it.
#   ../shared/tools/fresh-machine.sh . -- tests/dist/fresh-package.sh
set -euxo pipefail
./run.sh --package
apt-get install -y ./build/orvex_*.deb
dpkg -L orvex | grep -E 'bin/orvex|templates/upload.html|applications|metainfo|scalable'
apt-get install -y --no-install-recommends iproute2 xdotool curl xvfb trayer python3 >/dev/null
eval "$(/root/shared/tools/xvfb-tray-start.sh)"
cd /tmp
unshare --net -- sh -c '
  set -e
  ip link set lo up && ip route add default dev lo
  export HOME=/tmp/home XDG_RUNTIME_DIR=/tmp/run; mkdir -p $HOME $XDG_RUNTIME_DIR; chmod 700 $XDG_RUNTIME_DIR
  which orvex
  orvex > /tmp/orvex.log 2>&1 &
  pid=$!
  timeout 30 xdotool search --sync --onlyvisible --name "Orvex-" | head -1
  kill $pid; wait $pid || true
  # The pages come from the installed data folder: share a file headless and fetch its list page.
  echo "hello from the package" > /tmp/shared.txt
  orvex share --web-port 3001 /tmp/shared.txt > /tmp/share.log 2>&1 &
  pid=$!
  for i in $(seq 100); do grep -q "^http" /tmp/share.log && break; sleep 0.1; done
  link=$(grep -m1 "^http" /tmp/share.log)
  echo "$link"
  curl -s -c /tmp/cookies -o /tmp/page.html -w "%{http_code}\n" "$link"
  grep -c "shared.txt" /tmp/page.html
  curl -s -b /tmp/cookies "http://127.0.0.1:3001/download/shared.txt"
  kill -INT $pid; wait $pid || true
'
/root/shared/tools/xvfb-tray-stop.sh "$E2E_X11_STATE"
apt-get remove -y orvex
test ! -e /usr/bin/orvex && test ! -e /usr/share/orvex && echo "removed cleanly"
