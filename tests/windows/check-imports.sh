#!/usr/bin/env bash
# check-imports.sh OBJDUMP FILE...: fails when a Windows program or library imports a DLL that Windows itself does
# not ship, so that each file runs on a bare system.
set -euo pipefail
objdump=$1; shift
system='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comdlg32|msimg32|version|msvcrt|ws2_32|bcrypt)\.dll$'
status=0
for file in "$@"; do
    while read -r dll; do
        [[ ${dll,,} =~ $system ]] || { echo "$file imports $dll, which Windows does not ship" >&2; status=1; }
    done < <("$objdump" -p "$file" | awk '/DLL Name:/ { print $3 }')
done
exit $status
