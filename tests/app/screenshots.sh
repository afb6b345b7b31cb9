#!/usr/bin/env bash
# Starts the real program under Xvfb with a sandbox data folder and takes PNG pictures of its
# windows: the tips at start-up, the main window, the progress window in the middle of a job
# on a large generated log, the new-profile dialog, the About box; and of help pages in headless Chromium.
# usage: tests/app/screenshots.sh BUILD_DIR OUT_DIR
# Needs: Xvfb, xdotool, chromium (apt-get install xvfb xdotool chromium).
set -euo pipefail

[ $# -eq 2 ] || { sed -n '2,6s/^# \{0,1\}//p' "$0"; exit 64; }
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
grab=$build/tests/quorvel_screen_grab
for tool in Xvfb xdotool chromium "$build/quorvel" "$grab"; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid= program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_DATA_HOME=$work/xdg TMPDIR=$work/tmp HOME=$work/home QUORVEL_HOME=$repo/data
mkdir -p "$TMPDIR" "$HOME"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

# The sandbox's data: the Demo profile with one report, and a profile of a large log.
env -u DISPLAY "$build/quorvel" Demo >/dev/null
profiles=$XDG_DATA_HOME/Corvantis/Quorvel/profiles
mkdir -p "$work/large"
python3 - "$work/large/access.log" "$profiles/Demo.xml" "$profiles/Large site.xml" <<'PY'
import random, re, sys
log, demo, large = sys.argv[1:]
random.seed(7)
pages = ["/", "/index.html", "/shop/", "/shop/item%d.html", "/blog/post%d.html", "/css/site.css", "/img/logo.png"]
agents = ["Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36",
          "Mozilla/5.0 (iPhone; CPU iPhone OS 17_1 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.1 Mobile/15E148 Safari/604.1",
          "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)"]
lines = []
for i in range(200000):
    s = 36000 + i * 2
    page = random.choice(pages).replace("%d", str(random.randrange(500)))
    lines.append('10.%d.%d.%d - - [0%d/Mar/2024:%02d:%02d:%02d +0000] "GET %s HTTP/1.1" 200 %d "-" "%s"\n' % (
        random.randrange(4), random.randrange(256), random.randrange(256), 1 + s // 86400 % 9, s // 3600 % 24,
        s // 60 % 60, s % 60, page, random.randrange(100, 90000), random.choice(agents)))
with open(log, "w") as f:
    for _ in range(10):
        f.writelines(lines)
record = open(demo, encoding="utf-8").read()
record = re.sub(r"<LogPaths>.*?</LogPaths>", "<LogPaths>\n<item>%s/</item>\n</LogPaths>" % log.rsplit("/", 1)[0], record, flags=re.S)
record = re.sub(r"<AutoOpenReport>1</AutoOpenReport>", "<AutoOpenReport>0</AutoOpenReport>", record)
record = re.sub(r"<AnimNo>\d+</AnimNo>", "<AnimNo>3</AnimNo>", record)
record = re.sub(r"<LastReportDate>\d+</LastReportDate>", "<LastReportDate>0</LastReportDate>", record)
open(large, "w", encoding="utf-8").write(record)
PY

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

# Waits for a window titled $1 and prints its id.
window() {
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) || true
        [ -n "$id" ] && { echo "$id"; return; }
        sleep 0.1
    done
    echo "screenshots: no window \"$1\" appeared" >&2
    exit 1
}
# Picture of the whole screen, after the windows have painted.
shot() {
    sleep 0.7
    "$grab" "$out/$1.png"
    echo "$out/$1.png"
}
keys() {
    xdotool windowfocus --sync "$1" 2>/dev/null || true
    shift
    xdotool key --delay 150 "$@"
}

"$build/quorvel" >"$work/program.log" 2>&1 &
program_pid=$!

tips=$(window Tips)
shot tips
keys "$tips" Escape
main=$(window "Quorvel Profiles Summary")
shot main-window

# The second profile ("Large site") makes its report: the progress window in mid-job.
keys "$main" Home Down ctrl+r
progress=$(window "Working...")
sleep 1.5
shot progress
keys "$progress" Escape
for _ in $(seq 100); do xdotool search --onlyvisible --name '^Working\.\.\.$' >/dev/null 2>&1 || break; sleep 0.1; done
shot main-window-after-cancel

keys "$main" ctrl+n
dialog=$(window "New profile")
shot new-profile
keys "$dialog" Escape

keys "$main" alt+h Up Return
about=$(window "About Quorvel")
shot about
keys "$about" Escape

keys "$main" ctrl+q
for _ in $(seq 50); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$program_pid" 2>/dev/null; then
    echo "screenshots: the program did not end on Ctrl+Q" >&2
    exit 1
fi
program_pid=

for page in index support; do
    chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
        --disable-component-update --disable-sync --hide-scrollbars --user-data-dir="$work/chromium" \
        --window-size=1280,900 --screenshot="$out/help-$page.png" "file://$repo/data/help/html/$page.htm" \
        >/dev/null 2>&1
    echo "$out/help-$page.png"
done
