#!/usr/bin/env bash
# install.sh [FOLDER]: copies the CLAP plug-ins into ~/.clap, the VST3 bundles into ~/.vst3 and the VST 2.x
# plug-ins into ~/.vst, where Linux hosts look for them. FOLDER holds the built files: by default the folder of this script when it holds them (as
# in the Linux release archive), else out/linux of this checkout.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ $# -gt 0 ]; then
    from=$1
elif [ -f "$here/Orvanta_QV3.clap" ]; then
    from=$here
else
    from=$here/../out/linux
fi
mkdir -p "$HOME/.clap" "$HOME/.vst" "$HOME/.vst3"
install -m 0644 "$from/Orvanta_QV3.clap" "$from/Orvanta_QV3mono.clap" "$HOME/.clap/"
for bundle in Orvanta_QV3 Orvanta_QV3mono; do
    install -D -m 0644 "$from/$bundle.vst3/Contents/x86_64-linux/$bundle.so" \
        "$HOME/.vst3/$bundle.vst3/Contents/x86_64-linux/$bundle.so"
done
install -m 0644 "$from/Orvanta_QV3.so" "$from/Orvanta_QV3mono.so" "$HOME/.vst/"
echo "installed the CLAP plug-ins into $HOME/.clap, the VST3 bundles into $HOME/.vst3 and the VST 2.x plug-ins into $HOME/.vst"
