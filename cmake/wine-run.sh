#!/usr/bin/env bash
# wine-run.sh x64|x86 PROGRAM [ARGS...]: runs one Windows program under Wine with the loader of its architecture.
# Unless the caller already set up a Wine session (tools/wine-session.sh exports QV3_WINE_SESSION), it makes its own
# throwaway WINEPREFIX and starts its own Xvfb, and removes both when the program ends.
set -euo pipefail

arch=$1; shift
if [ -z "${QV3_WINE_SESSION:-}" ]; then
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    exec "$here/tools/wine-session.sh" --arch "$arch" "$0" "$arch" "$@"
fi

exec "$QV3_WINE_LOADER" "$@"
