#!/usr/bin/env bash
# Builds Orvex with AddressSanitizer and UndefinedBehaviorSanitizer and runs the whole test suite,
# against Qt 5 (build-test) and then against Qt 6 (build-test-qt6; ORVEX_TEST_QT6=0 leaves it out).
# Installs the Debian packages it is missing first (run as root on Debian 12).
# The tests run in a private network namespace (only loopback, with a default route on it), so
# nothing they broadcast or connect to can leave this machine.
set -euo pipefail
cd "$(dirname "$0")"
source ./cmake/packages.sh

test_qt6=${ORVEX_TEST_QT6:-1}
install_missing "${build_packages[@]}" "${test_packages[@]}"
[ "$test_qt6" = 0 ] || install_missing "${qt6_packages[@]}"
command -v npm >/dev/null || install_missing "${node_packages[@]}"

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

# build_and_test BUILD_FOLDER QT_MAJOR [ctest arguments]
build_and_test()
{
    local build=$1 qt=$2
    shift 2
    echo "== Qt $qt: building in $build"
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DORVEX_SANITIZE=ON -DORVEX_QT_MAJOR="$qt"
    cmake --build "$build" -j"$(nproc)"
    echo "== Qt $qt: running the tests"
    # Side by side, one per core: the tests that must run alone say so (RUN_SERIAL).
    unshare --net -- sh -c 'ip link set lo up && ip route add default dev lo && cd "$1" && shift && ctest --output-on-failure -j"$(nproc)" "$@"' \
        orvex-tests "$build" "$@"
}

build_and_test "${ORVEX_TEST_BUILD_DIR:-build-test}" 5 "$@"
if [ "$test_qt6" != 0 ]; then
    build_and_test "${ORVEX_TEST_QT6_BUILD_DIR:-build-test-qt6}" 6 "$@"
fi

# Fuzzing, in a clang build of its own (against Qt 5): each target in fuzz/ first runs the kept
# inputs of crashes fixed before, then fuzzes from its seeds for ORVEX_FUZZ_SECONDS seconds (30;
# 0 skips).
fuzz_seconds=${ORVEX_FUZZ_SECONDS:-30}
if [ "$fuzz_seconds" != 0 ]; then
    install_missing clang-14 libclang-rt-14-dev
    fuzz_build=${ORVEX_FUZZ_BUILD_DIR:-build-fuzz}
    cmake -S . -B "$fuzz_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 -DORVEX_FUZZ=ON \
        -DORVEX_TESTS=OFF
    cmake --build "$fuzz_build" -j"$(nproc)" --target orvex_fuzzers
    # The discovery target answers datagrams: it runs where nothing can leave the machine.
    unshare --net -- sh -c 'ip link set lo up && ip route add default dev lo && exec "$@"' orvex-fuzz \
        fuzz/run.sh "$fuzz_build" "$fuzz_seconds"
fi
