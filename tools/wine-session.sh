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

# Xvfb picks a free display number itself and writes it to the given descriptor: choosing one here and starting
# Xvfb on it would race with other sessions, and a session that took the other's server for its own would lose it
# when that one ends.
display_file=$(mktemp "${TMPDIR:-/tmp}/qv3-display.XXXXXX")
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 200); do
    [ "$(wc -l <"$display_file")" -ge 1 ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.05
done
display=$(tr -dc '0-9' <"$display_file")
rm -f "$display_file"
if [ -n "$display" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
    export DISPLAY=":$display"
else
    kill "$xvfb_pid" 2>/dev/null
    xvfb_pid=""
fi
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
