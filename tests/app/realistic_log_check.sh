#!/bin/bash
# Runs quorvel on a generated realistic, locally out-of-order access log in a sandbox and
# compares its report with an independent time-sorted replay of the same log: visits within
# 5 %, Chrome and Windows the top families, Googlebot seen as a robot, Google's visits within 5 %.
#
#   tests/app/realistic_log_check.sh QUORVEL_BIN SOURCE_DIR [LINES] [SEED]
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 QUORVEL_BIN SOURCE_DIR [LINES] [SEED]" >&2
    exit 2
fi
bin=$(realpath "$1")
src=$(realpath "$2")
lines=${3:-10000}
seed=${4:-20261209}

box=$(mktemp -d)
trap 'rm -rf "$box"' EXIT
mkdir -p "$box/data" "$box/tmp" "$box/home" "$box/logs"
export XDG_DATA_HOME="$box/data" TMPDIR="$box/tmp" HOME="$box/home" QUORVEL_HOME="$src/data"

python3 "$src/tools/make_realistic_log.py" --lines "$lines" --seed "$seed" --out "$box/logs/access.log"
python3 "$src/tools/replay_log.py" "$box/logs/access.log" --timeout 20 --json >"$box/replay.json"

# The first run installs the default records; the check profile is the demo one without
# groups (so robots keep their names), reading only the generated log.
"$bin" Demo >"$box/demo.txt" 2>&1 || { cat "$box/demo.txt" >&2; exit 1; }
profiles="$box/data/Corvantis/Quorvel/profiles"
python3 - "$profiles/Demo.xml" "$profiles/Check.xml" "$box/logs/" <<'EOF'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
text = re.sub(r"<LogPaths>.*?</LogPaths>", "<LogPaths>\n<item>%s</item>\n</LogPaths>" % sys.argv[3], text, flags=re.S)
text = re.sub(r"<LogPaths/>", "<LogPaths>\n<item>%s</item>\n</LogPaths>" % sys.argv[3], text)
text = re.sub(r"<GroupList>.*?</GroupList>", "<GroupList/>", text, flags=re.S)
for key, value in (("LogExts", "log;"), ("RptRangeType", "8"), ("AutoOpenReport", "0"), ("VisitTimeout", "20")):
    text = re.sub(r"<%s>.*?</%s>" % (key, key), "<%s>%s</%s>" % (key, value, key), text, flags=re.S)
open(sys.argv[2], "w", encoding="utf-8").write(text)
EOF
"$bin" Check >"$box/check.txt" 2>&1 || { cat "$box/check.txt" >&2; exit 1; }
report=$(sed -n 's/^Report written: \(.*\)\/TOC.htm$/\1/p' "$box/check.txt")
[ -d "$report" ] || { echo "no report folder in: $(cat "$box/check.txt")" >&2; exit 1; }

python3 - "$report" "$box/replay.json" <<'EOF'
import html, json, re, sys
from collections import Counter

report, replay = sys.argv[1], json.load(open(sys.argv[2]))

def Rows(page, heading):
    """The table rows under one h2 heading of a report page, as lists of cell texts."""
    text = open("%s/%s" % (report, page), encoding="utf-8").read()
    start = text.find("<h2>" + heading)
    end = text.find("<h2>", start + 4)
    part = text[start:end if end > 0 else len(text)] if start >= 0 else ""
    return [[html.unescape(re.sub(r"<[^>]+>", "", c)).strip() for c in re.findall(r"<t[dh][^>]*>(.*?)</t[dh]>", row, re.S)]
            for row in re.findall(r"<tr.*?</tr>", part, re.S)]

def Number(text):
    return int(text.replace(",", "")) if re.fullmatch(r"[\d,]+", text) else None

def Families(heading):
    """Visits per family: the version after the name is dropped ("Chrome 143" -> "Chrome")."""
    families = Counter()
    for row in Rows("browser.htm", heading):
        if len(row) >= 3 and Number(row[2]) is not None:
            family = re.sub(r"[\s\d./]+$", "", row[0])
            families["iOS" if family == "iPadOS" else family] += Number(row[2])  # the replay counts iPads as iOS
    return families

summary = {}
for row in Rows("general.htm", "Report Summary") + Rows("general.htm", "Log Lines"):
    if len(row) >= 2:
        summary.setdefault(row[0], row[1])  # the site's totals come before the extension groups' ones
visits = Number(summary.get("Total Visits", ""))
browsers, systems = Families("Browsers"), Families("Operating Systems")
engines = {row[0]: Number(row[1]) for row in Rows("referer.htm", "Search Engines") if len(row) >= 2}

def Top(pairs):
    return ", ".join("%s %d" % tuple(p) for p in pairs[:3])

table = [
    ("visits", visits, replay["visits"]),
    ("unreadable lines", summary.get("Lines That Could Not Be Read"), replay["malformed"]),
    ("top browsers (visits)", Top(browsers.most_common()), Top(replay["browser_visits"])),
    ("top systems (visits)", Top(systems.most_common()), Top(replay["system_visits"])),
    ("robot visits", systems.get("Robot"), replay["robot_visits"]),
    ("Googlebot visits", browsers.get("Googlebot", 0) + browsers.get("Googlebot Smartphone", 0),
     dict(replay["browser_visits"]).get("Robot Googlebot", 0)),
    ("Google referral visits", engines.get("Google"), replay["google_referral_visits"]),
]
print("%-24s %-44s %s" % ("", "quorvel", "replay"))
for name, ours, theirs in table:
    print("%-24s %-44s %s" % (name, ours, theirs))

failures = []
if visits is None or abs(visits - replay["visits"]) > 0.05 * replay["visits"]:
    failures.append("visits %s not within 5 %% of the replay's %d" % (visits, replay["visits"]))
if not browsers or browsers.most_common(1)[0][0] != "Chrome":
    failures.append("Chrome is not the top browser family")
if not systems or systems.most_common(1)[0][0] != "Windows":
    failures.append("Windows is not the top system family")
if not browsers.get("Googlebot Smartphone") or not browsers.get("Googlebot"):
    failures.append("Googlebot (desktop and smartphone) not recognised as a robot")
google = engines.get("Google") or 0
if abs(google - replay["google_referral_visits"]) > 0.05 * max(replay["google_referral_visits"], 1):
    failures.append("Google's %d visits not within 5 %% of the replay's %d" % (google, replay["google_referral_visits"]))
for failure in failures:
    print("FAIL: " + failure, file=sys.stderr)
sys.exit(1 if failures else 0)
EOF
