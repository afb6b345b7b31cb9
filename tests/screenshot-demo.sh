#!/bin/sh
# Makes the report of the bundled sample logs (profile "Demo") in a scratch data folder,
# checks that its start page and section pages hold their tables and charts, and takes
# screenshots of them with headless Chromium (Debian's chromium package) to look at.
# Usage: tests/screenshot-demo.sh [build folder] [output folder]
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$repo/build"}
out=${2:-/tmp/quorvel-demo-screens}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$out" "$scratch/tmp"

XDG_DATA_HOME="$scratch/data" TMPDIR="$scratch/tmp" "$build/quorvel" Demo >"$scratch/out.txt"
report=$(sed -n 's/^Report written: //p' "$scratch/out.txt" | xargs -0 dirname)
fail=0
check() { grep -q "$2" "$report/$1" || { echo "missing $2 in $1" >&2; fail=1; }; }
check TOC.htm 'href="general.htm'
check general.htm '<table'
check access.htm '<img'
check activity.htm 'charts/'
[ "$fail" -eq 0 ] || exit 1

for page in TOC general access visitors; do
    for size in 1280,900 400,800; do
        name="$out/$page-${size%%,*}.png"
        chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
            --disable-background-networking --disable-component-update --disable-sync --hide-scrollbars \
            --user-data-dir="$scratch/chromium" --window-size="$size" --screenshot="$name" \
            "file://$report/$page.htm" >/dev/null 2>&1
        [ "$(stat -c %s "$name")" -gt 10000 ] || { echo "blank screenshot $name" >&2; exit 1; }
        echo "$name"
    done
done
