#!/usr/bin/env bash
# Runs every fuzz target for a bounded time on a copy of its seed corpus.
# Usage: tests/fuzz/run-fuzzers.sh [build folder] [seconds per target]
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-"$repo/build-fuzz"}
seconds=${2:-30}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in "$build"/fuzz/Fuzz*; do
    name=$(basename "$target")
    mkdir -p "$work/$name"
    cp -r "$repo/tests/fuzz/corpus/$name/." "$work/$name/" 2>/dev/null || true
    echo "fuzzing $name for ${seconds}s"
    "$target" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$work/$name-" "$work/$name" 2>"$work/$name.log" || {
        tail -40 "$work/$name.log"
        echo "$name found a failure" >&2
        exit 1
    }
    grep -E "^(Done|#[0-9]+ *DONE)" "$work/$name.log" | tail -1 || true
done
