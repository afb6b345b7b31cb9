#!/bin/sh
# Renders the default template on the hand-written test report and takes screenshots of
# the start page and a section page at laptop and phone width with headless Chromium.
# Usage: scripts/screenshot-report.sh [build folder] [output folder] [page ...]
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$repo/build"}
out=${2:-/tmp/quorvel-screens}
if [ $# -gt 2 ]; then shift 2; else set --; fi
pages=${*:-"TOC.htm general.htm access.htm referer.htm"}

preview="$out/report"
rm -rf "$preview"
mkdir -p "$out"
QUORVEL_REPORT_PREVIEW="$preview" "$build/tests/quorvel_tests" \
    --gtest_filter='TemplateTest.BrokenSectionIsTheOnlyMissingPage' >/dev/null
cp -r "$repo/tests/data/report-folder/charts" "$preview/"

profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
for page in $pages; do
    for size in 1280,900 400,800; do
        name="$out/$(basename "$page" .htm)-${size%%,*}.png"
        chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
            --disable-background-networking --disable-component-update --disable-sync --hide-scrollbars \
            --user-data-dir="$profile" --window-size="$size" --screenshot="$name" \
            "file://$preview/$page" >/dev/null 2>&1
        echo "$name"
    done
done
