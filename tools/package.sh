#!/usr/bin/env bash
# package.sh: builds the Linux and both Windows trees in Release and writes the release files into dist/: the
# installer, a zip per Windows architecture (both plug-ins as VST 2.x DLLs, as .clap files and as VST3 bundles with
# the modules of both Windows architectures, qv3.exe where built, the README), a tar.gz for Linux (the same as .so
# and .clap files and VST3 bundles, the LV2 bundle Orvanta_QV3.lv2, qv3, install.sh, the README) and SHA256SUMS.
# Every name carries the version of CMakeLists.txt.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

"$root/tools/build.sh" native win64 win32
version=$("$root/tools/version.sh")
dist=$root/dist
rm -rf "$dist"
mkdir -p "$dist"
stage=$(mktemp -d "${TMPDIR:-/tmp}/qv3-package.XXXXXX")
trap 'rm -rf "$stage"' EXIT

# stage NAME FOLDER FILE...: a folder NAME holding the named files of FOLDER and the README.
stage() {
    local name=$1 folder=$2; shift 2
    mkdir -p "$stage/$name"
    for file in "$@"; do cp "$folder/$file" "$stage/$name/"; done
    cp "$root/README.md" "$stage/$name/"
}

# stage_bundles NAME FOLDER...: the two VST3 bundles in folder NAME, each holding the modules the FOLDERs' bundles
# hold (one architecture each), so one bundle carries every architecture.
stage_bundles() {
    local name=$1 folder bundle; shift
    for bundle in Orvanta_QV3.vst3 Orvanta_QV3mono.vst3; do
        for folder in "$@"; do
            mkdir -p "$stage/$name/$bundle"
            cp -R "$folder/$bundle/." "$stage/$name/$bundle/"
        done
    done
}

"$root/tools/make-installer.sh" "$root/out/x64" "$root/out/x86" "$dist" >/dev/null
for arch in x64 x86; do
    name=Orvanta_QV3-$version-windows-$arch
    stage "$name" "$root/out/$arch" Orvanta_QV3.dll Orvanta_QV3mono.dll Orvanta_QV3.clap Orvanta_QV3mono.clap
    stage_bundles "$name" "$root/out/x64" "$root/out/x86"
    [ ! -f "$root/out/$arch/qv3.exe" ] || cp "$root/out/$arch/qv3.exe" "$stage/$name/"
    (cd "$stage" && zip -qrX "$dist/$name.zip" "$name")
done
name=Orvanta_QV3-$version-linux-$(uname -m)
stage "$name" "$root/out/linux" Orvanta_QV3.so Orvanta_QV3mono.so Orvanta_QV3.clap Orvanta_QV3mono.clap qv3
stage_bundles "$name" "$root/out/linux"
cp "$root/tools/install.sh" "$stage/$name/"
cp -R "$root/out/linux/Orvanta_QV3.lv2" "$stage/$name/"
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner -czf "$dist/$name.tar.gz" "$name"

(cd "$dist" && sha256sum -- * >SHA256SUMS)
echo "== release files in $dist"
ls -l "$dist"
