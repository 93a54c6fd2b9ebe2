#!/usr/bin/env bash
# Runs one Windows program under Wine. Unless the caller already set up a Wine session (tools/wine-session.sh
# exports QV3_WINE_SESSION), it makes its own throwaway WINEPREFIX and starts its own Xvfb, and removes both
# when the program ends.
set -euo pipefail

if [ -z "${QV3_WINE_SESSION:-}" ]; then
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    exec "$here/tools/wine-session.sh" "$0" "$@"
fi

exec wine "$@"
