#!/usr/bin/env bash
# make-installer.sh X64_DIR X86_DIR OUTPUT_DIR: builds Orvanta_QV3-<version>-setup.exe from the plug-ins (and qv3.exe,
# where the folders hold it) of both Windows architectures and the README, and prints its path.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
[ $# -eq 3 ] || { echo "usage: make-installer.sh X64_DIR X86_DIR OUTPUT_DIR" >&2; exit 2; }
x64_dir=$(cd "$1" && pwd)
x86_dir=$(cd "$2" && pwd)
mkdir -p "$3"
version=$("$root/tools/version.sh")
installer=$(cd "$3" && pwd)/Orvanta_QV3-$version-setup.exe
makensis -V2 -DVERSION="$version" -DX64_DIR="$x64_dir" -DX86_DIR="$x86_dir" -DREADME="$root/README.md" \
    -DOUTFILE="$installer" "$root/tools/installer/Orvanta_QV3.nsi" >&2
echo "$installer"
