#!/usr/bin/env bash
# The main job: set up the machine, build every plug-in (Windows x64 and x86, Linux) and the qv3 command, show what
# the plug-ins report, and limit a short demo file through "+3dB Maxi".
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

"$root/tools/setup.sh"
"$root/tools/build.sh" native win64 win32

echo
echo "== plug-ins"
for file in "$root"/out/x64/*.dll "$root"/out/x86/*.dll "$root"/out/linux/*.so; do
    printf '  %-48s %8d bytes\n' "${file#"$root"/}" "$(stat -c %s "$file")"
done

qv3="$root/out/linux/qv3"
for plugin in Orvanta_QV3 Orvanta_QV3mono; do
    echo
    echo "== $plugin reports"
    "$qv3" info --plugin "$root/out/linux/$plugin.so"
done

echo
echo "== demo: limiting a few seconds of generated music through \"+3dB Maxi\""
mkdir -p "$root/out/demo"
"$qv3" demo "$root/out/demo/demo-input.wav"
"$qv3" render --program "+3dB Maxi" "$root/out/demo/demo-input.wav" "$root/out/demo/demo-limited.wav"
echo "input and limited output: out/demo/"
