#!/usr/bin/env bash
# Memory per distinct key of a quorvel binary: peak RSS of a report over a log whose every
# line brings a new path (or address), minus that of a log of as many lines over few keys,
# divided by the lines; and the peak of one host that never pauses.
# usage: bench/memory-per-key.sh BINARY [SCRATCH]   (default scratch: /tmp/quorvel-memory)
# The logs are made once by tools/make_memory_logs.py and kept in SCRATCH/logs.
set -euo pipefail
[ $# -ge 1 ] || { sed -n '2,6s/^# \{0,1\}//p' "$0"; exit 64; }
bin=$(realpath "$1")
scratch=${2:-/tmp/quorvel-memory}
here=$(cd "$(dirname "$0")" && pwd)
export XDG_DATA_HOME=$scratch/xdg TMPDIR=$scratch/tmp
mkdir -p "$TMPDIR" "$XDG_DATA_HOME/Corvantis/Quorvel/profiles"
declare -A lines=([paths]=1000000 [paths-few]=1000000 [addresses]=2000000 [addresses-few]=2000000 [steady]=1000000)
peak() { # KIND -> peak RSS in KiB
    local kind=$1 dir=$scratch/logs/$1
    if [ ! -f "$dir/access.log" ]; then
        mkdir -p "$dir"
        python3 "$here/../tools/make_memory_logs.py" --kind "$kind" --lines "${lines[$kind]}" --out "$dir/access.log"
    fi
    printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<cvprofile>\r\n<profile_version>1</profile_version>\r\n<LogPaths>\r\n<item>%s/</item>\r\n</LogPaths>\r\n<OpenExt>1</OpenExt>\r\n<LogExts>log;</LogExts>\r\n</cvprofile>\r\n' \
        "$dir" > "$XDG_DATA_HOME/Corvantis/Quorvel/profiles/$kind.xml"
    /usr/bin/time -f '%M' -o "$scratch/time.txt" "$bin" "$kind" > "$scratch/run.log" 2>&1 || { cat "$scratch/run.log"; exit 1; }
    cat "$scratch/time.txt"
}
p=$(peak paths) pf=$(peak paths-few) a=$(peak addresses) af=$(peak addresses-few) s=$(peak steady)
echo "peak KiB: paths $p, paths-few $pf, addresses $a, addresses-few $af, steady $s"
echo "per path: $(( (p - pf) * 1024 / ${lines[paths]} )) B"
echo "per address: $(( (a - af) * 1024 / ${lines[addresses]} )) B"
echo "one host never pausing, ${lines[steady]} hits: $(( s / 1024 )) MiB"
