#!/usr/bin/env bash
# run-test.sh <emulator> <test program> [arguments]: runs one GoogleTest
# program and passes it only when it exits with 0 AND printed GoogleTest's
# closing line. A Wine loader that cannot run a program at all may end with 0
# and print nothing; that must not count as a pass.
out=$(mktemp) || exit 1
trap 'rm -f "$out"' EXIT
"$@" 2>&1 | tee "$out"
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
    exit "$status"
fi
if ! grep -qE '^\[  PASSED  \] [0-9]+ tests?\.' "$out"; then
    echo "run-test: $2 ended with 0 but did not report its tests; it did not run (check the Wine loader)"
    exit 1
fi
