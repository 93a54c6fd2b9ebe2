#!/usr/bin/env bash
# wine-prefix.sh x64|x86 DIR: makes a Wine prefix for that architecture in DIR.
# wine-prefix.sh --loader x64|x86: prints the Wine loader that runs programs of that architecture.
set -euo pipefail

loader_for() {
    case $1 in
    x64) echo /usr/lib/wine/wine64 ;;
    x86) echo /usr/lib/wine/wine ;;
    *) echo "wine-prefix: unknown architecture $1" >&2; exit 2 ;;
    esac
}

if [ "${1:-}" = "--loader" ]; then loader_for "$2"; exit 0; fi
[ $# -eq 2 ] || { echo "usage: wine-prefix.sh x64|x86 DIR | --loader x64|x86" >&2; exit 2; }

loader=$(loader_for "$1")
winearch=win64
[ "$1" = x86 ] && winearch=win32
mkdir -p "$2"
WINEPREFIX=$2 WINEARCH=$winearch WINELOADER=$loader WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    "$loader" wineboot -i >/dev/null 2>&1 || true
# wineboot returns before its server is gone; the prefix is complete only then.
WINEPREFIX=$2 wineserver -w 2>/dev/null || true
[ -f "$2/system.reg" ] || { echo "wine-prefix: could not make a $1 prefix in $2" >&2; exit 1; }
