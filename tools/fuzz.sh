#!/usr/bin/env bash
# fuzz.sh [SECONDS]: runs the fuzz target of each plug-in build (from `tools/build.sh fuzz`) for SECONDS, by
# default $QV3_FUZZ_SECONDS or 60, starting from the seed corpus in tests/fuzz/corpus. The inputs it finds
# collect in build/fuzz/corpus-BUILD and carry over to the next run. Fails on any crash or failed check and
# keeps the input that caused it in build/fuzz/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-${QV3_FUZZ_SECONDS:-60}}

for build in stereo mono; do
    echo "== fuzzing the $build plug-in for $seconds s"
    corpus="$root/build/fuzz/corpus-$build"
    log="$root/build/fuzz/fuzz-$build.log"
    mkdir -p "$corpus"
    if ! "$root/build/fuzz/tests/fuzz/qv3_fuzz_$build" -max_total_time="$seconds" -timeout=30 \
        -artifact_prefix="$root/build/fuzz/$build-" "$corpus" "$root/tests/fuzz/corpus" >"$log" 2>&1; then
        grep -m 5 -E '^check failed|ERROR|runtime error' "$log" || true
        tail -n 12 "$log"
        echo "fuzzing the $build plug-in failed; log in $log" >&2
        exit 1
    fi
    grep -E '^#[0-9]+' "$log" | tail -n 1
done
