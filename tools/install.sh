#!/usr/bin/env bash
# install.sh [FOLDER]: installs the LV2 bundle Orvanta_QV3.lv2 (both plug-ins and their presets) from FOLDER
# (default out/linux, where tools/build.sh native puts it) into ~/.lv2, where every LV2 host looks. An installed
# copy is replaced whole.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
from=${1:-$root/out/linux}/Orvanta_QV3.lv2

if [ ! -f "$from/manifest.ttl" ]; then
    echo "install.sh: no LV2 bundle in $from (tools/build.sh native builds it)" >&2
    exit 1
fi
mkdir -p "$HOME/.lv2"
# Copied beside the installed bundle first, so a failed copy leaves that one as it was.
staging=$(mktemp -d "$HOME/.lv2/.Orvanta_QV3.lv2.XXXXXX")
trap 'rm -rf "$staging"' EXIT
cp -R "$from/." "$staging/"
chmod 755 "$staging"
rm -rf "$HOME/.lv2/Orvanta_QV3.lv2"
mv "$staging" "$HOME/.lv2/Orvanta_QV3.lv2"
echo "installed $HOME/.lv2/Orvanta_QV3.lv2"
