#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build: first the kept inputs of fixed crashes
# (fuzz/regressions/<target>/), then fuzzing from the seeds (fuzz/corpus/<target>/) for a bounded
# time. New inputs go to <build>/fuzz-work/<target>/, never into the repository.
# Usage: fuzz/run.sh <fuzz build folder> [seconds per target, default $ORVEX_FUZZ_SECONDS or 60]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
seconds=${2:-${ORVEX_FUZZ_SECONDS:-60}}

# Targets that write files do so in the temporary folder: on tmpfs where there is one. The folder
# is this run's own and goes with it, together with whatever a target left when its time ran out.
parent=${TMPDIR:-/tmp}
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    parent=/dev/shm
fi
TMPDIR=$(mktemp -d "$parent/orvex-fuzz-XXXXXX")
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT

status=0
for binary in "$build"/fuzz/fuzz_*; do
    [ -f "$binary" ] && [ -x "$binary" ] || continue
    target=${binary##*/fuzz_}
    regressions="$here/regressions/$target"
    if compgen -G "$regressions/*" >/dev/null; then
        echo "== $target: regression inputs"
        "$binary" -runs=1 "$regressions"/* || status=1
    fi
    work="$build/fuzz-work/$target"
    mkdir -p "$work" "$build/fuzz-artifacts"
    echo "== $target: fuzzing for $seconds s"
    "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-artifacts/$target-" "$work" "$here/corpus/$target" || status=1
done
exit $status
