#!/usr/bin/env bash
# wine-session.sh COMMAND [ARGS...]
# Runs COMMAND with a fresh, throwaway Wine prefix and a private Xvfb display, then tears both down.
# Everything Wine-based in the tests runs inside one such session.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: wine-session.sh COMMAND [ARGS...]" >&2; exit 2; }

prefix=$(mktemp -d "${TMPDIR:-/tmp}/qv3-wine.XXXXXX")
xvfb_pid=""
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
}
trap cleanup EXIT

# A display number nobody uses: no lock file and no socket.
display=""
for n in $(seq 90 189); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "wine-session: no free X display" >&2; exit 1; }

Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.05
done

export DISPLAY=":$display"
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
wineboot -i >/dev/null 2>&1 || true
export QV3_WINE_SESSION=1

set +e
"$@"
status=$?
set -e
exit $status
