#!/usr/bin/env python3
# Where a run's CPU time goes, by phase: gives each sample of `perf script -F tid,ip,sym` to
# the first phase its call chain shows, in the order of the rules (counting before visits,
# visits before parsing), and prints each phase's share of the samples.
# usage: perf record -F 2000 --call-graph dwarf,8192 -o run.data build/quorvel PROFILE
#        perf script -i run.data -F tid,ip,sym > run.txt; bench/cpu-phases.py run.txt [more.txt ...]
import collections
import re
import sys

rules = [
  ("charts", ["RenderChartPng", "DrawChart", "TChartQueue", "RenderRaster"]),
  ("page transforms", ["TransformReportPage", "xsltApplyStylesheet"]),
  ("choosing buckets, merging, XML, sorting", ["SampleHostBuckets", "MergeRows", "MergeTotals", "SortAll", "BuildLists", "CompileReport", "ConvertCharts", "Commit", "WriteReport"]),
  ("counting", ["CountClosedVisits", "CountVisit", "CountHit", "CountHeldHits", "FlushVisits", "ApplyFilter"]),
  ("visits", ["FindOrCreateVisit", "THitPool::Make", "TWebVisit::AddHit", "InitVisit", "AssignVisitFacts", "RecycleVisit", "JoinVisits", "AnalyseLine"]),
  ("path numbers", ["TPathIndex::IdOf"]),
  ("parsing", ["TCParser", "AssignHitFields", "CleanedLine", "IsClean", "TLineDate", "AssignVisitFields", "TryParseInt64", "StrToInt64Def", "ApplyW3CDirective", "FeedLine"]),
  ("reading the chunks", ["TChunkRing::Await", "TakeChunk", "LoadChunk", "ReadAt", "HostOfLine"]),
  ("the workers' own loop", ["ReadingWorker"]),
  ("start, exit", ["_dl_", "_start", "exit", "__libc_start"]),
]
counts = collections.Counter(); total = 0
stack = []
def flush():
    global total
    if not stack: return
    total += 1
    for name, keys in rules:
        if any(k in f for f in stack for k in keys):
            counts[name] += 1; return
    counts["the rest"] += 1
for path in sys.argv[1:]:
    for line in open(path, errors="replace"):
        if re.match(r'\s*\d+\s', line) and not line.startswith('\t') and not line.startswith('        '):
            flush(); stack = []
        elif line.strip():
            parts = line.split(None, 1)
            stack.append(parts[1] if len(parts) > 1 else "")
    flush(); stack = []
for name, n in counts.most_common():
    print("%-45s %5.1f %%" % (name, 100.0 * n / total))
print("samples", total)
