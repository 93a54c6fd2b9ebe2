#!/usr/bin/env bash
# fuzz.sh [SECONDS]: runs the fuzz targets of each plug-in build (from `tools/build.sh fuzz`) for SECONDS each, by
# default $QV3_FUZZ_SECONDS or 60: the VST 2.x host calls from the seed corpus in tests/fuzz/corpus, the CLAP
# layer from tests/fuzz/clap-corpus, the VST3 layer from tests/fuzz/vst3-corpus. The inputs they find collect in build/fuzz/corpus-TARGET-BUILD and carry
# over to the next run. Fails on any crash or failed check and
# keeps the input that caused it in build/fuzz/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-${QV3_FUZZ_SECONDS:-60}}

for pair in "fuzz corpus" "clap_fuzz clap-corpus" "vst3_fuzz vst3-corpus"; do
    read -r target seeds <<<"$pair"
    for build in stereo mono; do
        echo "== fuzzing the $build plug-in's qv3_$target for $seconds s"
        corpus="$root/build/fuzz/corpus-$target-$build"
        log="$root/build/fuzz/$target-$build.log"
        mkdir -p "$corpus"
        if ! "$root/build/fuzz/tests/fuzz/qv3_${target}_$build" -max_total_time="$seconds" -timeout=30 \
            -artifact_prefix="$root/build/fuzz/$target-$build-" "$corpus" "$root/tests/fuzz/$seeds" >"$log" 2>&1; then
            grep -m 5 -E '^check failed|ERROR|runtime error' "$log" || true
            tail -n 12 "$log"
            echo "qv3_${target}_$build failed; log in $log" >&2
            exit 1
        fi
        grep -E '^#[0-9]+' "$log" | tail -n 1
    done
done
