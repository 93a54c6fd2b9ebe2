#!/usr/bin/env bash
# The main job: set up the machine, build every plug-in (Windows x64 and x86, Linux) and the qv3 command, show what
# the plug-ins report, and limit a short demo file through "+3dB Maxi", with the Linux qv3 and with the Windows
# qv3.exe under Wine (in a throwaway prefix and X display of its own).
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
"$qv3" render --program "+3dB Maxi" --plot "$root/out/demo/demo-limited.png" "$root/out/demo/demo-input.wav" \
    "$root/out/demo/demo-limited.wav"

echo
echo "== the same with the Windows qv3.exe (beside its 64-bit plug-ins in out/x64), under Wine"
# Run from the demo folder, so that the Windows program gets plain relative names; Wine's lines end in CR LF.
(cd "$root/out/demo" && "$root/tools/wine-session.sh" sh -c \
    '"$QV3_WINE_LOADER" "$0" render --program "+3dB Maxi" --plot demo-limited-x64.png demo-input.wav demo-limited-x64.wav' \
    "$root/out/x64/qv3.exe") | tr -d '\r'
echo
echo "== both outputs measured"
(cd "$root/out/demo" && "$qv3" analyze demo-limited.wav demo-limited-x64.wav)
echo "input, limited outputs and their pictures (Linux, Windows x64): out/demo/"
