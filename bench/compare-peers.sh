#!/usr/bin/env bash
# Side-by-side benchmark of a whole `quorvel PROFILE` run against the peer
# analysers (Analog, Webalizer, GoAccess, AWStats) on identical synthetic logs.
#
# The logs and the peer runs come from ../shared/bench/ (beside the
# repository): genlog.py and run-{analog,webalizer,goaccess,awstats}.sh.
# Every command is run under GNU /usr/bin/time; per round the commands are
# alternated (quorvel, peer A, quorvel, peer B, ...) so that a noisy machine
# hits all of them alike. Medians are reported, plus the ratio of each
# median wall time to quorvel's.
#
# usage: bench/compare-peers.sh [options]
#   --lines N[,N...]   log sizes in lines            (default 1000000,5000000)
#   --runs R[,R...]    timed runs per command; one value for all sizes or one
#                      per size, e.g. --runs 3,1      (default 3)
#   --peers LIST       peers to run, comma separated
#                      (default analog,webalizer,goaccess,awstats)
#   --skip LIST        peers to leave out, e.g. --skip awstats (slow)
#   --slow-max N       leave AWStats out for logs above N lines (default: none)
#   --no-gz            do not time the gzipped copy of the smallest log
#   --one-cpu          also time Quorvel held to one CPU (taskset -c 0), alternated
#                      with the free run, on every size in --lines
#   --solo N[,N...]    larger logs timed with Quorvel alone, each run alternated with
#                      the smallest log of --lines; their table gives wall time and peak
#                      RSS against the smallest log's
#   --quick            100000 lines, 1 run (a smoke test of the whole chain)
#   --out FILE         Markdown results (default bench/results.md)
#   --scratch DIR      scratch folder (default ${TMPDIR:-/tmp}/quorvel-peer-bench);
#                      generated logs are kept there and reused
#   --bin FILE         quorvel binary (default build/quorvel)
#   -h, --help         this text
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(dirname "$HERE")
SHARED=$(dirname "$REPO")/shared/bench

LINES=1000000,5000000
RUNS=3
PEERS=analog,webalizer,goaccess,awstats
SKIP=
SLOW_MAX=
GZ=1
ONECPU=0
SOLO=
OUT=$REPO/bench/results.md
SCRATCH=${TMPDIR:-/tmp}/quorvel-peer-bench
BIN=$REPO/build/quorvel

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; }
die() { echo "compare-peers: $*" >&2; exit 1; }

while [ $# -gt 0 ]; do
  case $1 in
    --lines) LINES=${2:?}; shift 2;;
    --runs) RUNS=${2:?}; shift 2;;
    --peers) PEERS=${2:?}; shift 2;;
    --skip) SKIP=${2:?}; shift 2;;
    --slow-max) SLOW_MAX=${2:?}; shift 2;;
    --no-gz) GZ=0; shift;;
    --one-cpu) ONECPU=1; shift;;
    --solo) SOLO=${2:?}; shift 2;;
    --quick) LINES=100000; RUNS=1; shift;;
    --out) OUT=${2:?}; shift 2;;
    --scratch) SCRATCH=${2:?}; shift 2;;
    --bin) BIN=${2:?}; shift 2;;
    -h|--help) usage; exit 0;;
    *) usage >&2; exit 64;;
  esac
done

IFS=, read -r -a SIZES <<< "$LINES"
IFS=, read -r -a RUNLIST <<< "$RUNS"
SOLOS=(); [ -z "$SOLO" ] || IFS=, read -r -a SOLOS <<< "$SOLO"
for n in "${SIZES[@]}" "${RUNLIST[@]}" "${SOLOS[@]}"; do
  [[ $n =~ ^[1-9][0-9]*$ ]] || die "not a positive number: '$n'"
done
for n in "${SOLOS[@]}"; do
  [[ ",$LINES," != *",$n,"* ]] || die "$n is in --lines and in --solo: a size is timed one way"
done
[ ${#RUNLIST[@]} -eq 1 ] || [ ${#RUNLIST[@]} -eq ${#SIZES[@]} ] ||
  die "--runs takes one value or one per size in --lines"
runs_for() { if [ ${#RUNLIST[@]} -eq 1 ]; then echo "${RUNLIST[0]}"; else echo "${RUNLIST[$1]}"; fi; }

ACTIVE=()
IFS=, read -r -a WANT <<< "$PEERS"
for p in "${WANT[@]}"; do
  case $p in analog|webalizer|goaccess|awstats) ;; *) die "unknown peer '$p'";; esac
  [[ ",$SKIP," == *",$p,"* ]] || ACTIVE+=("$p")
done

[ -x "$BIN" ] || die "no binary at $BIN (build it first: cmake --build build)"
[ -f "$SHARED/genlog.py" ] || die "shared bench tools not found in $SHARED"
case "$SCRATCH" in ""|/) die "refusing scratch folder '$SCRATCH'";; esac
OUT=$(realpath -m "$OUT")

# --- tools: GNU time and the peers, installed only when missing ------------
need_pkgs=()
[ -x /usr/bin/time ] || need_pkgs+=(time)
[ "$ONECPU" = 0 ] || command -v taskset >/dev/null || need_pkgs+=(util-linux)
for p in "${ACTIVE[@]}"; do
  case $p in
    analog) command -v analog >/dev/null || need_pkgs+=(analog);;
    webalizer) command -v webalizer >/dev/null || need_pkgs+=(webalizer);;
    goaccess) command -v goaccess >/dev/null || need_pkgs+=(goaccess);;
    awstats) [ -f /usr/lib/cgi-bin/awstats.pl ] || need_pkgs+=(awstats);;
  esac
done
if [ ${#need_pkgs[@]} -gt 0 ]; then
  echo "installing: ${need_pkgs[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
fi

# --- sandbox: data folder and temporary folder of our own -------------------
mkdir -p "$SCRATCH"
SCRATCH=$(realpath "$SCRATCH")
rm -rf -- "$SCRATCH/xdg" "$SCRATCH/tmp" "$SCRATCH/out"
mkdir -p "$SCRATCH/xdg" "$SCRATCH/tmp" "$SCRATCH/out" "$SCRATCH/logs"
export XDG_DATA_HOME=$SCRATCH/xdg TMPDIR=$SCRATCH/tmp
PROFILES=$XDG_DATA_HOME/Corvantis/Quorvel/profiles
SAMPLES=$SCRATCH/samples.tsv
: > "$SAMPLES"

write_profile() { # NAME FOLDER
  mkdir -p "$PROFILES"
  printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<cvprofile>\r\n<profile_version>1</profile_version>\r\n<LogPaths>\r\n<item>%s/</item>\r\n</LogPaths>\r\n<OpenExt>1</OpenExt>\r\n<LogExts>log;gz;</LogExts>\r\n</cvprofile>\r\n' \
    "$2" > "$PROFILES/$1.xml"
}

# run_timed SIZE LABEL CMD...: one sample under GNU time, appended to SAMPLES
run_timed() {
  local size=$1 label=$2; shift 2
  local t=$SCRATCH/tmp/time.txt log=$SCRATCH/out/last-$label.log
  /usr/bin/time -o "$t" -f '%e %U %S %M %x' "$@" > "$log" 2>&1 || true
  local row; row=$(grep -E '^[0-9.]+ [0-9.]+ [0-9.]+ [0-9]+ [0-9]+$' "$t" | tail -1)
  [ -n "$row" ] || die "$label: no timing from GNU time (see $log)"
  set -- $row
  [ "$5" = 0 ] || { echo "warning: $label exited $5 (see $log)" >&2; }
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$size" "$label" "$1" "$(awk -v u="$2" -v s="$3" 'BEGIN {print u + s}')" "$4" "$5" >> "$SAMPLES"
  printf '  %-12s wall %7.2f s  peak %6d MiB\n' "$label" "$1" $(( $4 / 1024 ))
}

# ensure_log N: the N-line log (made once, kept in the scratch folder) and its profile
ensure_log() {
  local n=$1 dir=$SCRATCH/logs/synth-$1
  if [ ! -s "$dir/access.log" ] || [ ! -f "$dir/.complete" ]; then
    echo "generating $n lines (seed 1) ..."
    mkdir -p "$dir"; rm -f "$dir/.complete"
    python3 "$SHARED/genlog.py" --lines "$n" --seed 1 --out "$dir/access.log"
    touch "$dir/.complete"
  fi
  local got; got=$(wc -l < "$dir/access.log"); [ "$got" -eq "$n" ] || die "$dir/access.log has $got lines, not $n"
  write_profile "bench-$n" "$dir"
}

SMALLEST=$(printf '%s\n' "${SIZES[@]}" | sort -n | head -1)
for i in "${!SIZES[@]}"; do
  n=${SIZES[$i]}; r=$(runs_for "$i")
  dir=$SCRATCH/logs/synth-$n; log=$dir/access.log
  ensure_log "$n"
  peers=("${ACTIVE[@]}")
  if [ -n "$SLOW_MAX" ] && [ "$n" -gt "$SLOW_MAX" ]; then
    peers=(); for p in "${ACTIVE[@]}"; do [ "$p" = awstats ] || peers+=("$p"); done
  fi

  echo "== $n lines, $r run(s) per command; peers: ${peers[*]:-none}"
  # first run sets up the fresh data folder (and warms the page cache)
  "$BIN" "bench-$n" > "$SCRATCH/out/warmup.log" 2>&1 ||
    die "quorvel bench-$n failed: $(tail -3 "$SCRATCH/out/warmup.log")"
  grep -q 'Report written:' "$SCRATCH/out/warmup.log" || die "quorvel wrote no report"
  for _ in $(seq "$r"); do
    if [ ${#peers[@]} -eq 0 ]; then run_timed "$n" quorvel "$BIN" "bench-$n"; fi
    for p in "${peers[@]}"; do
      run_timed "$n" quorvel "$BIN" "bench-$n"
      run_timed "$n" "$p" bash "$SHARED/run-$p.sh" "$log" "$SCRATCH/out/$p"
    done
    if [ "$ONECPU" = 1 ]; then
      run_timed "$n" quorvel-1cpu taskset -c 0 "$BIN" "bench-$n"
      run_timed "$n" quorvel "$BIN" "bench-$n"
    fi
  done

  if [ "$GZ" = 1 ] && [ "$n" = "$SMALLEST" ]; then
    gdir=$SCRATCH/logs/synth-$n-gz
    if [ ! -s "$gdir/access.log.gz" ] || [ "$gdir/access.log.gz" -ot "$log" ]; then
      echo "compressing the $n-line log ..."
      mkdir -p "$gdir"; gzip -c "$log" > "$gdir/access.log.gz.part"
      mv "$gdir/access.log.gz.part" "$gdir/access.log.gz"
    fi
    write_profile "bench-$n-gz" "$gdir"
    "$BIN" "bench-$n-gz" > "$SCRATCH/out/warmup.log" 2>&1 || die "quorvel bench-$n-gz failed"
    # alternated with the plain log, so that both meet the same state of the machine
    for _ in $(seq "$r"); do
      run_timed "$n" quorvel "$BIN" "bench-$n"
      run_timed "$n" quorvel-gz "$BIN" "bench-$n-gz"
    done
  fi
done

for n in "${SOLOS[@]}"; do
  ensure_log "$n"
  r=$(runs_for $((${#SIZES[@]} - 1)))
  echo "== $n lines, Quorvel alone, $r run(s), alternated with the $SMALLEST-line log"
  "$BIN" "bench-$n" > "$SCRATCH/out/warmup.log" 2>&1 ||
    die "quorvel bench-$n failed: $(tail -3 "$SCRATCH/out/warmup.log")"
  for _ in $(seq "$r"); do
    run_timed "$n" quorvel "$BIN" "bench-$n"
    run_timed "$SMALLEST" quorvel "$BIN" "bench-$SMALLEST"
  done
done

# --- tables -----------------------------------------------------------------
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
mem=$(awk '/^MemTotal/ {printf "%.1f GiB", $2/1048576}' /proc/meminfo)
ver() { dpkg-query -W -f '${Version}' "$1" 2>/dev/null || echo "?"; }
MACHINE="$(nproc) CPUs ($cpu), $mem RAM, $(uname -sr); $(date -u '+%Y-%m-%d %H:%M UTC')"
VERSIONS="quorvel $(git -C "$REPO" rev-parse --short HEAD 2>/dev/null || echo '?') ($("$BIN" --version 2>/dev/null | head -1)), Analog $(ver analog), Webalizer $(ver webalizer), GoAccess $(ver goaccess), AWStats $(ver awstats)"

mkdir -p "$(dirname "$OUT")"
python3 - "$SAMPLES" "$MACHINE" "$VERSIONS" "$OUT" "$SOLO" <<'PY'
import collections, statistics, sys
samples, machine, versions, out, solo = sys.argv[1:6]
solo = {int(n) for n in solo.split(",") if n}
data = collections.defaultdict(lambda: collections.defaultdict(list))
for line in open(samples):
    size, label, wall, cpu, rss, rc = line.rstrip("\n").split("\t")
    data[int(size)][label].append((float(wall), float(cpu), int(rss) / 1024, rc))
names = {"quorvel": "Quorvel", "quorvel-gz": "Quorvel, gzipped log", "quorvel-1cpu": "Quorvel, one CPU", "analog": "Analog",
         "webalizer": "Webalizer", "goaccess": "GoAccess", "awstats": "AWStats"}
order = ["quorvel", "quorvel-1cpu", "quorvel-gz", "analog", "webalizer", "goaccess", "awstats"]
md = ["Machine: " + machine + ".", "", "Versions: " + versions + ".", ""]
def medians(v):
    return [statistics.median(x[i] for x in v) for i in range(3)]
base = min((s for s in data if s not in solo), default=None)
for size in sorted(data):
    rows = data[size]
    ours = statistics.median(w for w, *_ in rows["quorvel"])
    head = ["program", "runs", "wall s", "CPU s", "peak MiB", "lines/s", "wall / Quorvel"]
    if size in solo and base:
        # A larger log against the smallest: how time and memory grow with the log.
        base_wall, _, base_rss = medians(data[base]["quorvel"])
        head[-1:] = ["wall / {:,}-line log".format(base), "peak / {:,}-line log".format(base)]
    table = []
    for label in [l for l in order if l in rows]:
        v = rows[label]
        wall, cpu, rss = medians(v)
        bad = sorted({x[3] for x in v} - {"0"})
        name = names[label] + (" (exit %s)" % ",".join(bad) if bad else "")
        row = [name, str(len(v)), "%.2f" % wall, "%.2f" % cpu, "%.0f" % rss,
               "{:,.0f}".format(size / wall) if wall else "-"]
        if size in solo and base:
            row += ["%.2f" % (wall / base_wall), "%.2f" % (rss / base_rss)]
        else:
            row.append("%.2f" % (wall / ours) if ours else "-")
        table.append(row)
    title = "{:,}-line log (medians)".format(size)
    widths = [max(len(r[i]) for r in table + [head]) for i in range(len(head))]
    print("\n" + title)
    for r in [head] + table:
        print("  " + "  ".join(c.rjust(w) if i else c.ljust(w) for i, (c, w) in enumerate(zip(r, widths))))
    md += ["### " + title, "", "| " + " | ".join(head) + " |",
           "|" + "---|" + "---:|" * (len(head) - 1)]
    md += ["| " + " | ".join(r) + " |" for r in table]
    md.append("")
md.append("Commands alternated per round (Quorvel, peer, Quorvel, next peer, ...); wall, "
          "user+sys CPU and peak RSS from GNU time; `wall / Quorvel` above 1 means slower "
          "than Quorvel on the plain log (for Quorvel on one CPU, `taskset -c 0`, it is how "
          "much the other CPUs speed it up). Quorvel writes the full report of its profile (all "
          "sections, no DNS); the peers run through `../shared/bench/run-*.sh`.")
open(out, "w").write("\n".join(md) + "\n")
print("\n" + machine)
print("Markdown written: " + out)
PY
