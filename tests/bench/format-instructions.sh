#!/usr/bin/env bash
# format-instructions.sh [BENCH]: instructions per frame of each plug-in format's process entry under valgrind's
# callgrind, on qv3_format_bench's material and settings; unlike times, the counts do not depend on the load of
# the machine. Run by hand after tools/build.sh native.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bench=${1:-$root/build/native/tests/bench/qv3_format_bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# count FILTER ENTRY: instructions inside the entry function, per call, per frame of a 512-frame block.
count() {
    valgrind --tool=callgrind --compress-strings=no --callgrind-out-file="$work/out" --toggle-collect="*$2*" \
        "$bench" --benchmark_filter="$1" --benchmark_min_time=0.05 >/dev/null 2>&1
    awk -v name="$1" -v entry="$2" '
        /^(summary|totals):/ && !total { total = $2 }
        found && /^calls=/ { split($1, c, "="); calls += c[2] }
        { found = /^cfn=/ && index($0, entry) }
        END { sub(/\$$/, "", name); printf "%-24s %7.2f instructions per frame (%d blocks)\n", name, total / calls / 512, calls }
    ' "$work/out"
}

for build in stereo mono; do
    count "vst2/$build\$" processReplacingEntry
    count "clap/$build\$" processEntry
    count "clap/${build}_automated" processEntry
    count "vst3/$build\$" processEntry
    count "vst3/${build}_automated" processEntry
done
