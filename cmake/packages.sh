# Debian packages the two top-level commands need, and a helper that installs the missing ones.
build_packages=(build-essential cmake pkg-config qtbase5-dev qtbase5-dev-tools libsodium-dev libssl-dev libqrencode-dev zlib1g-dev)
# lupdate and lrelease, which make and check the translations (translations/*.ts).
build_packages+=(qttools5-dev-tools qttools5-dev)
# CPack reads the executable's library dependencies with these.
package_packages=(file dpkg-dev)
run_packages=(xvfb trayer xauth python3 fonts-noto-cjk qttranslations5-l10n)
test_packages=(iproute2 nftables util-linux procps curl python3 libzbar-dev zbar-tools fonts-noto-cjk chromium desktop-file-utils appstream qttranslations5-l10n
    dbus-daemon dbus-session-bus-common)
# What the benchmark programs run besides Orvex (bench_transfer --tree compares with tar | socat).
bench_packages=(socat)
# Building and testing against Qt 6 (-DORVEX_QT_MAJOR=6): Qt's own translations, the Linguist
# tools (lrelease and its CMake package), the offscreen and xcb platforms come with libqt6gui6.
qt6_packages=(qt6-base-dev qt6-base-dev-tools qt6-translations-l10n qt6-l10n-tools qt6-tools-dev)
# Node.js and npm may come from elsewhere than Debian (its npm package conflicts with such a
# nodejs): only a machine without npm gets Debian's.
node_packages=(nodejs npm)

install_missing()
{
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing missing Debian packages: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update
        apt-get install -y --no-install-recommends "${missing[@]}"
    fi
}
