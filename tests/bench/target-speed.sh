#!/usr/bin/env bash
# target-speed.sh [QV3] [SECONDS]: what a loudness-target render costs against a plain render of the same file
# with the same settings. Prints the best of three runs of each and their ratio; run by hand after
# tools/build.sh native.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
qv3=${1:-$root/out/linux/qv3}
seconds=${2:-240}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$qv3" demo --seconds "$seconds" "$work/in.wav" >/dev/null

best() { # best wall-clock time of three runs of the command, in seconds
    local best=
    for _ in 1 2 3; do
        local start end took
        start=$(date +%s.%N)
        "$@" >/dev/null
        end=$(date +%s.%N)
        took=$(echo "$end - $start" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$took < $best" | bc -l)" = 1 ]; then best=$took; fi
    done
    echo "$best"
}

plain=$(best "$qv3" render "$work/in.wav" "$work/plain.wav")
echo "plain render of $seconds s stereo:           $(printf '%.2f' "$plain") s"
for target in -23 -18 -17; do
    took=$(best "$qv3" render --target-lufs "$target" "$work/in.wav" "$work/target.wav")
    passes=$("$qv3" render --target-lufs "$target" "$work/in.wav" "$work/target.wav" | sed -n 's/.* in \([0-9]*\) passes/\1/p')
    printf 'target %4s LUFS: %2s passes, %6.2f s, %.1f times the plain render\n' "$target" "$passes" "$took" \
        "$(echo "$took / $plain" | bc -l)"
done
