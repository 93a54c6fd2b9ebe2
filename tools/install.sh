#!/usr/bin/env bash
# install.sh [FOLDER]: installs the plug-ins where Linux hosts look for them: the CLAP plug-ins into ~/.clap, the
# VST3 bundles into ~/.vst3, the LV2 bundle Orvanta_QV3.lv2 into ~/.lv2 and the VST 2.x plug-ins into ~/.vst.
# FOLDER holds the built files: by default the folder of this script when it holds them (as in the Linux release
# archive), else out/linux of this checkout (tools/build.sh native). Installed copies are replaced.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ $# -gt 0 ]; then
    from=$1
elif [ -f "$here/Orvanta_QV3.clap" ]; then
    from=$here
else
    from=$here/../out/linux
fi
if [ ! -f "$from/Orvanta_QV3.clap" ] || [ ! -f "$from/Orvanta_QV3.lv2/manifest.ttl" ]; then
    echo "install.sh: no built plug-ins in $from (tools/build.sh native builds them)" >&2
    exit 1
fi

mkdir -p "$HOME/.clap" "$HOME/.vst" "$HOME/.vst3" "$HOME/.lv2"
install -m 0644 "$from/Orvanta_QV3.clap" "$from/Orvanta_QV3mono.clap" "$HOME/.clap/"
for bundle in Orvanta_QV3 Orvanta_QV3mono; do
    install -D -m 0644 "$from/$bundle.vst3/Contents/x86_64-linux/$bundle.so" \
        "$HOME/.vst3/$bundle.vst3/Contents/x86_64-linux/$bundle.so"
done
install -m 0644 "$from/Orvanta_QV3.so" "$from/Orvanta_QV3mono.so" "$HOME/.vst/"

# The LV2 bundle is copied beside the installed one first, so a failed copy leaves that one as it was.
staging=$(mktemp -d "$HOME/.lv2/.Orvanta_QV3.lv2.XXXXXX")
trap 'rm -rf "$staging"' EXIT
cp -R "$from/Orvanta_QV3.lv2/." "$staging/"
chmod 755 "$staging"
rm -rf "$HOME/.lv2/Orvanta_QV3.lv2"
mv "$staging" "$HOME/.lv2/Orvanta_QV3.lv2"
echo "installed into $HOME/.clap, $HOME/.vst3, $HOME/.lv2 and $HOME/.vst"
