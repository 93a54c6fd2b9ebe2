#!/usr/bin/env bash
# wine-session.sh [--arch x64|x86] COMMAND [ARGS...]
# Runs COMMAND with a throwaway Wine prefix of the given architecture (x64 by default) and a private Xvfb display,
# then tears both down. The prefix is a copy of QV3_WINE_TEMPLATE_X64 or QV3_WINE_TEMPLATE_X86 where that names a
# prefix made by wine-prefix.sh (a copy takes a second, a new prefix under emulation about fifteen), else made anew.
# Inside, QV3_WINE_LOADER names the loader of the architecture: the plain `wine` command would start the 32-bit
# loader first, which runs only under emulation.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

arch=x64
if [ "${1:-}" = "--arch" ]; then arch=$2; shift 2; fi
[ $# -ge 1 ] || { echo "usage: wine-session.sh [--arch x64|x86] COMMAND [ARGS...]" >&2; exit 2; }
case $arch in
x64) template=${QV3_WINE_TEMPLATE_X64:-} ;;
x86) template=${QV3_WINE_TEMPLATE_X86:-} ;;
*) echo "wine-session: unknown architecture $arch" >&2; exit 2 ;;
esac

prefix=$(mktemp -d "${TMPDIR:-/tmp}/qv3-wine.XXXXXX")
xvfb_pid=""
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
}
trap cleanup EXIT

# A display number nobody uses; Xvfb takes the lock file atomically, so a race with another session only means
# trying the next number.
for n in $(seq 90 189); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.05
    done
    if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
        export DISPLAY=":$n"
        break
    fi
    xvfb_pid=""
done
[ -n "$xvfb_pid" ] || { echo "wine-session: no free X display" >&2; exit 1; }

if [ -n "$template" ] && [ -d "$template" ]; then
    rm -rf "$prefix"
    cp -a "$template" "$prefix"
else
    "$here/wine-prefix.sh" "$arch" "$prefix"
fi

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export QV3_WINE_LOADER
QV3_WINE_LOADER=$("$here/wine-prefix.sh" --loader "$arch")
export WINELOADER=$QV3_WINE_LOADER
export QV3_WINE_SESSION=1

set +e
"$@"
status=$?
set -e
exit $status
