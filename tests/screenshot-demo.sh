#!/bin/sh
# Makes the report of the bundled sample logs (profile "Demo") and of a large generated
# log (profile "Large": the Demo settings with the other chart renderer, SVG or PNG) in a
# scratch data folder, checks that their pages hold their tables and charts, and takes
# screenshots of them at 1280 and 400 pixels wide with headless Chromium (Debian's
# chromium package) to look at.
# Usage: tests/screenshot-demo.sh [build folder] [output folder] [lines of the large log]
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$repo/build"}
out=${2:-/tmp/quorvel-demo-screens}
lines=${3:-50000}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$out" "$scratch/tmp" "$scratch/logs"
export XDG_DATA_HOME="$scratch/data" TMPDIR="$scratch/tmp"

# Prints the folder of the report that the named profile wrote.
report_of() {
    "$build/quorvel" "$1" >"$scratch/out-$1.txt"
    sed -n 's/^Report written: //p' "$scratch/out-$1.txt" | xargs -0 dirname
}

fail=0
check() { grep -q "$3" "$1/$2" || { echo "missing $3 in $1/$2" >&2; fail=1; }; }

demo=$(report_of Demo)
check "$demo" TOC.htm 'href="general.htm'
check "$demo" TOC.htm '<html lang="en"'
check "$demo" general.htm '<table'
check "$demo" access.htm '<img'
check "$demo" activity.htm 'charts/'

# The large report: the generated log only, and the renderer Demo does not use.
python3 "$repo/tools/make_realistic_log.py" --lines "$lines" --seed 20261210 --out "$scratch/logs/access.log"
profiles="$XDG_DATA_HOME/Corvantis/Quorvel/profiles"
python3 - "$profiles/Demo.xml" "$profiles/Large.xml" "$scratch/logs/" <<'EOF'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
text = re.sub(r"<LogPaths>.*?</LogPaths>|<LogPaths/>", "<LogPaths>\n<item>%s</item>\n</LogPaths>" % sys.argv[3], text,
              flags=re.S)
renderer = re.search(r"<ChartRenderer>(\d*)</ChartRenderer>", text)
other = "0" if renderer and renderer.group(1) == "1" else "1"
text = re.sub(r"<ChartRenderer>.*?</ChartRenderer>", "<ChartRenderer>%s</ChartRenderer>" % other, text, flags=re.S)
for key, value in (("LogExts", "log;"), ("RptRangeType", "8"), ("AutoOpenReport", "0")):
    text = re.sub(r"<%s>.*?</%s>" % (key, key), "<%s>%s</%s>" % (key, value, key), text, flags=re.S)
open(sys.argv[2], "w", encoding="utf-8").write(text)
EOF
large=$(report_of Large)
check "$large" access.htm '<img'
check "$large" browser.htm 'alt="'
[ "$fail" -eq 0 ] || exit 1

for report in "$demo" "$large"; do
    name=$([ "$report" = "$demo" ] && echo demo || echo large)
    for page in TOC general access activity visitors browser; do
        [ -f "$report/$page.htm" ] || continue
        for size in 1280,900 400,800; do
            shot="$out/$name-$page-${size%%,*}.png"
            chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
                --disable-background-networking --disable-component-update --disable-sync --hide-scrollbars \
                --user-data-dir="$scratch/chromium" --window-size="$size" --screenshot="$shot" \
                "file://$report/$page.htm" >/dev/null 2>&1
            [ "$(stat -c %s "$shot")" -gt 10000 ] || { echo "blank screenshot $shot" >&2; exit 1; }
            echo "$shot"
        done
    done
done
# The report folders themselves, for a closer look at single charts.
rm -rf "$out/demo-report" "$out/large-report"
cp -r "$demo" "$out/demo-report"
cp -r "$large" "$out/large-report"
