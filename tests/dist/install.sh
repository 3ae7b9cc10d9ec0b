#!/usr/bin/env bash
# install.sh BUILD_DIR: installs the build into a temporary prefix and checks that every file is
# in its FHS place.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
status=0
expect()
{
    if [ ! -e "$prefix/$1" ]; then
        echo "missing after install: $1"
        status=1
    fi
}
expect bin/orvex
expect share/orvex/etc/templates/upload.html
expect share/orvex/etc/static
expect share/applications/app.orvex.Orvex.desktop
expect share/metainfo/app.orvex.Orvex.metainfo.xml
expect share/icons/hicolor/scalable/apps/app.orvex.Orvex.svg
for size in 16 24 32 48 64 128 256; do
    expect share/icons/hicolor/${size}x${size}/apps/app.orvex.Orvex.png
done
stray=$(cd "$prefix" && find . -mindepth 1 -maxdepth 1 ! -name bin ! -name share)
if [ -n "$stray" ]; then
    echo "installed outside bin/ and share/: $stray"
    status=1
fi
exit $status
