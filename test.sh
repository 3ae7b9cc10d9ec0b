#!/usr/bin/env bash
# Builds Orvex with AddressSanitizer and UndefinedBehaviorSanitizer and runs the whole test suite.
# Installs the Debian packages it is missing first (run as root on Debian 12).
# The tests run in a private network namespace (only loopback, with a default route on it), so
# nothing they broadcast or connect to can leave this machine.
set -euo pipefail
cd "$(dirname "$0")"
source ./cmake/packages.sh

install_missing "${build_packages[@]}" "${test_packages[@]}"
command -v npm >/dev/null || install_missing "${node_packages[@]}"

build=${ORVEX_TEST_BUILD_DIR:-build-test}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DORVEX_SANITIZE=ON
cmake --build "$build" -j"$(nproc)"

# Browser tests drive Debian's chromium through playwright-core from npm. Without a reachable npm
# registry they cannot run: they are then reported as skipped, never as passed.
if [ -f tests/web/browser/package.json ]; then
    (cd tests/web/browser && npm install --no-audit --no-fund) ||
        echo "warning: playwright-core could not be installed from npm; the browser tests will be skipped" >&2
fi

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
unshare --net -- sh -c 'ip link set lo up && ip route add default dev lo && cd "$1" && shift && ctest --output-on-failure "$@"' \
    orvex-tests "$build" "$@"
