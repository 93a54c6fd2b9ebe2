#!/usr/bin/env bash
# target-speed.sh [QV3] [SECONDS...]: what a loudness-target render costs against a plain render of the same
# file with the same settings, in time and in peak memory, for files of each length given (60 and 300 s by
# default: the target search's memory must not grow with the file). Prints the best of three runs of each, the
# ratio of the times and of the processor times (the search uses a second core where a plain render leaves it
# idle, so on a busy machine the time comes nearer the processor time); run by hand after tools/build.sh
# native.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
qv3=${1:-$root/out/linux/qv3}
shift || true
lengths=("$@")
[ ${#lengths[@]} -gt 0 ] || lengths=(60 300)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Wall-clock seconds, processor seconds (user and system) and peak resident memory (the child's ru_maxrss, in
# MB) of one run, on one line.
measure() {
    python3 -c '
import resource, subprocess, sys, time
start = time.monotonic()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, check=True)
took = time.monotonic() - start
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.3f %.3f %.1f" % (took, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024))
' "$@"
}

best() { # the run of three with the best time, with the largest memory of them
    local best= processor= memory=0
    for _ in 1 2 3; do
        read -r took cpu rss < <(measure "$@")
        if [ -z "$best" ] || [ "$(echo "$took < $best" | bc -l)" = 1 ]; then best=$took processor=$cpu; fi
        if [ "$(echo "$rss > $memory" | bc -l)" = 1 ]; then memory=$rss; fi
    done
    echo "$best $processor $memory"
}

for seconds in "${lengths[@]}"; do
    "$qv3" demo --seconds "$seconds" "$work/in.wav" >/dev/null
    read -r plain plainProcessor plainMemory < <(best "$qv3" render "$work/in.wav" "$work/plain.wav")
    printf '%4d s stereo, plain render:    %6.2f s (processor %.2f s), %6.1f MB\n' "$seconds" "$plain" \
        "$plainProcessor" "$plainMemory"
    for target in -23 -17 -14; do
        read -r took processor memory < <(best "$qv3" render --target-lufs "$target" "$work/in.wav" "$work/target.wav")
        renders=$("$qv3" render --target-lufs "$target" "$work/in.wav" "$work/target.wav" |
            sed -n 's/.* in \([0-9]*\) passes/\1/p')
        printf '%4d s, target %4s LUFS: %6.2f s, %6.1f MB, %2s renders, %.2f times the plain render (processor %.2f times)\n' \
            "$seconds" "$target" "$took" "$memory" "$renders" "$(echo "$took / $plain" | bc -l)" \
            "$(echo "$processor / $plainProcessor" | bc -l)"
    done
done
