#!/usr/bin/env bash
# Runs a benchmark command with this virtual machine's free-page reporting held back, and puts
# the setting back afterwards.
#
# The host of a virtual machine that reports freed pages takes them back at once, and the guest's
# next write to such a page waits for the host to supply it: on the development machine that makes
# a write into fresh memory several times slower than the copy itself, by an amount that changes
# from run to run. Each transfer writes into fresh memory, so without this its figure measures the
# host's paging more than the program. Where the kernel has no such setting the command runs as is.
#
# Usage: bench/steady_memory.sh COMMAND [ARGUMENTS...]   (as root)
set -euo pipefail
knob=/sys/module/page_reporting/parameters/min_free_ms
if [ -w "$knob" ]; then
    before=$(cat "$knob")
    trap 'echo "$before" > "$knob"' EXIT
    # A page is reported only after it has stayed free this long (milliseconds).
    echo 300000 > "$knob"
fi
"$@"
