#!/bin/sh
# validate.sh TOOL [ARG...] FILE: runs the validator, or skips (77) where it is not installed.
if ! command -v "$1" >/dev/null; then
    echo "SKIPPED: $1 is not installed (Debian: desktop-file-utils, appstream)"
    exit 77
fi
exec "$@"
