#!/usr/bin/env bash
# take-screenshots.sh [PLUGIN_DIR]
# Opens the editor of both Windows x64 plug-ins in PLUGIN_DIR (default out/x64, where tools/build.sh win64 puts
# them with the screenshot program) under Wine with a private X server and writes docs/screenshot-stereo.png and
# docs/screenshot-mono.png.
# Needs wine, Xvfb and the system python3 with PIL (Debian package python3-pil).
set -euo pipefail

[ $# -le 1 ] || { echo "usage: take-screenshots.sh [PLUGIN_DIR]" >&2; exit 2; }
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=$(cd "${1:-$root/out/x64}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qv3-screenshot.XXXXXX")
trap 'rm -rf "$work"' EXIT

cp "$out/qv3_screenshot.exe" "$out/Orvanta_QV3.dll" "$out/Orvanta_QV3mono.dll" "$work/"
cd "$work"
"$root/tools/wine-session.sh" sh -c \
    '"$QV3_WINE_LOADER" qv3_screenshot.exe Orvanta_QV3.dll stereo.bmp && "$QV3_WINE_LOADER" qv3_screenshot.exe Orvanta_QV3mono.dll mono.bmp'

mkdir -p "$root/docs"
for build in stereo mono; do
    /usr/bin/python3 -c 'import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2], optimize=True)' \
        "$build.bmp" "$root/docs/screenshot-$build.png"
    echo "wrote docs/screenshot-$build.png"
done
