#!/usr/bin/env bash
# version.sh: prints the product version, which the project line of CMakeLists.txt sets for every build.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sed -n 's/^project(Orvanta_QV3 VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt"
