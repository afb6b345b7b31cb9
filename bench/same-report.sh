#!/usr/bin/env bash
# Makes the report of one profile with two quorvel binaries and compares the report
# folders file by file (pages and chart images), so that an optimisation can be shown
# to leave every figure as it was.
# usage: bench/same-report.sh BINARY_A BINARY_B PROFILE
# The profile is looked up in $XDG_DATA_HOME as the program does.
set -euo pipefail
[ $# -eq 3 ] || { sed -n '2,6s/^# \{0,1\}//p' "$0"; exit 64; }
a=$1 b=$2 profile=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run() { # BINARY OUT
    local log=$work/$(basename "$2").log
    "$1" "$profile" > "$log" 2>&1 || { cat "$log"; exit 1; }
    local written
    written=$(sed -n 's/^Report written: //p' "$log")
    cp -r "$(dirname "$written")" "$2"
}
run "$a" "$work/a"
run "$b" "$work/b"
# The pages carry the time they were made; nothing else may differ.
if diff -r -q -I 'generated\|[0-9]\{1,2\}:[0-9][0-9]:[0-9][0-9]' "$work/a" "$work/b" >/dev/null; then
    echo "same report: $(find "$work/a" -type f | wc -l) files"
else
    diff -r -I 'generated\|[0-9]\{1,2\}:[0-9][0-9]:[0-9][0-9]' "$work/a" "$work/b" | head -40
    exit 1
fi
