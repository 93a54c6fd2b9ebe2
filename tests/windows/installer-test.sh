#!/usr/bin/env bash
# installer-test.sh X64_DIR X86_DIR HOST_TESTS_EXE: builds the installer from the plug-ins (and qv3.exe) in both
# folders and checks it in a 64-bit Wine prefix of its own: a silent install into chosen VST folders, the CLAP
# plug-ins in Common Files\CLAP and the VST3 bundles in Common Files\VST3 of each architecture, the installed 64-bit plug-ins passing the host tests where
# they were put, an install over it upgrading in place with the
# folders remembered, qv3's folder appended to the user's PATH once, and a silent uninstall run in place, as the
# installed-programs entry says, that has removed exactly what was installed, its PATH entry and its registry entries
# when it returns, but for its own file, left to the next restart.
# Runs itself inside tools/wine-session.sh; the installer is 32-bit and runs under the 32-bit loader, so with
# QV3_SKIP_X86_TESTS=1 it reports itself skipped (exit status 77).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
[ $# -eq 3 ] || { echo "usage: installer-test.sh X64_DIR X86_DIR HOST_TESTS_EXE" >&2; exit 2; }
if [ "${QV3_SKIP_X86_TESTS:-}" = 1 ]; then
    echo "installer test skipped: the installer is a 32-bit program and QV3_SKIP_X86_TESTS=1"
    exit 77
fi
if [ -z "${QV3_WINE_SESSION:-}" ]; then
    exec "$root/tools/wine-session.sh" --arch x64 "$0" "$@"
fi
x64_dir=$1 x86_dir=$2 host_tests=$3
plugins=(Orvanta_QV3.dll Orvanta_QV3mono.dll)
clap_plugins=(Orvanta_QV3.clap Orvanta_QV3mono.clap)
# VST3 modules, inside their bundles.
vst3_x64=(Orvanta_QV3.vst3/Contents/x86_64-win/Orvanta_QV3.vst3 Orvanta_QV3mono.vst3/Contents/x86_64-win/Orvanta_QV3mono.vst3)
vst3_x86=(Orvanta_QV3.vst3/Contents/x86-win/Orvanta_QV3.vst3 Orvanta_QV3mono.vst3/Contents/x86-win/Orvanta_QV3mono.vst3)

work=$(mktemp -d "${TMPDIR:-/tmp}/qv3-installer.XXXXXX")
trap 'rm -rf "$work"' EXIT
installer=$("$root/tools/make-installer.sh" "$x64_dir" "$x86_dir" "$work")

fail() { echo "installer test: $*" >&2; exit 1; }
wine() { "$QV3_WINE_LOADER" "$@"; }
# Runs a Windows program and waits for every process it started: an uninstaller continues from a copy of itself.
run() { wine "$@"; wineserver -w; }
has_key() { wine reg query "HKLM\\$1" >/dev/null 2>&1; }
value() { wine reg query "HKLM\\$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
user_path() { wine reg query 'HKCU\Environment' /v Path 2>/dev/null | tr -d '\r' | sed -n 's/^ *Path *REG_[A-Z_]* *//p'; }

# Folders with spaces, given as a deployment script does, through the command interpreter: Wine would quote a
# program argument holding spaces whole, and /D= takes the rest of the command line as it is.
drive=$WINEPREFIX/drive_c
vst64="$drive/qv3 test/vst 64" vst32="$drive/qv3 test/vst 32" program="$drive/qv3 test/program"
clap64="$drive/Program Files/Common Files/CLAP" clap32="$drive/Program Files (x86)/Common Files/CLAP"
vst3_64="$drive/Program Files/Common Files/VST3" vst3_32="$drive/Program Files (x86)/Common Files/VST3"
cp "$installer" "$drive/setup.exe"
printf '%s\r\n' 'C:\setup.exe /S /VST64="C:\qv3 test\vst 64" /VST32="C:\qv3 test\vst 32" /D=C:\qv3 test\program' \
    >"$drive/install.bat"
product_key='Software\tarnwick\Orvanta_QV3'
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvanta_QV3'
# A plug-in folder that already holds another maker's plug-in; the 32-bit folder does not exist yet.
mkdir -p "$vst64"
echo "another maker's plug-in" >"$vst64/Other.dll"
# The user's own PATH, which the installer extends and the uninstaller gives back as it was.
own_path='C:\other tools;C:\more'
wine reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d "$own_path" /f >/dev/null 2>&1
# The uninstall as the installed-programs entry asks for it, from a batch file, which waits for the programs it runs.
printf '%s\r\n' '"C:\qv3 test\program\uninstall.exe" /S _?=C:\qv3 test\program' >"$drive/uninstall.bat"

expect_installed() {
    for plugin in "${plugins[@]}"; do
        cmp -s "$x64_dir/$plugin" "$vst64/$plugin" || fail "64-bit $plugin is not in the chosen folder"
        cmp -s "$x86_dir/$plugin" "$vst32/$plugin" || fail "32-bit $plugin is not in the chosen folder"
    done
    for plugin in "${clap_plugins[@]}"; do
        cmp -s "$x64_dir/$plugin" "$clap64/$plugin" || fail "64-bit $plugin is not in Common Files\\CLAP"
        cmp -s "$x86_dir/$plugin" "$clap32/$plugin" || fail "32-bit $plugin is not in Common Files (x86)\\CLAP"
    done
    for module in "${vst3_x64[@]}"; do
        cmp -s "$x64_dir/$module" "$vst3_64/$module" || fail "64-bit $module is not in Common Files\\VST3"
    done
    for module in "${vst3_x86[@]}"; do
        cmp -s "$x86_dir/$module" "$vst3_32/$module" || fail "32-bit $module is not in Common Files (x86)\\VST3"
    done
    [ -f "$program/README.md" ] && [ -f "$program/uninstall.exe" ] || fail "README or uninstaller missing"
    if [ -f "$x64_dir/qv3.exe" ]; then
        cmp -s "$x64_dir/qv3.exe" "$program/qv3.exe" || fail "qv3.exe is not in the program folder"
        for plugin in "${plugins[@]}"; do
            cmp -s "$x64_dir/$plugin" "$program/$plugin" || fail "$plugin is not beside qv3.exe"
        done
        [ "$(user_path)" = "$own_path;C:\qv3 test\program" ] ||
            fail "the user's PATH is not the own one with the program folder once: $(user_path)"
    fi
    [ "$(value "$uninstall_key" DisplayVersion)" = "$("$root/tools/version.sh")" ] ||
        fail "no entry in the 64-bit view of the installed-programs list"
    [ "$(value "$uninstall_key" UninstallString)" = '"C:\qv3 test\program\uninstall.exe"' ] ||
        fail "the installed-programs entry does not name the uninstaller"
    [ "$(value "$uninstall_key" QuietUninstallString)" = "$(head -n 1 "$drive/uninstall.bat" | tr -d '\r')" ] ||
        fail "the installed-programs entry's quiet uninstall is not the one this test runs"
    ! has_key "Software\\Wow6432Node\\$uninstall_key" || fail "an entry in the 32-bit registry view"
    [ -f "$vst64/Other.dll" ] || fail "the other maker's plug-in is gone"
}

echo "== silent install into chosen folders"
run cmd /c 'C:\install.bat' >/dev/null
expect_installed

echo "== the installed 64-bit plug-ins in the host tests"
cp "$host_tests" "$vst64/"
wine "$vst64/$(basename "$host_tests")" --gtest_brief=1 || fail "the installed plug-ins fail the host tests"
rm "$vst64/$(basename "$host_tests")"

echo "== install over it: the remembered folders, files replaced"
: >"$vst64/Orvanta_QV3.dll"
rm "$vst32/Orvanta_QV3mono.dll" "$clap32/Orvanta_QV3.clap" "$vst3_32/${vst3_x86[0]}"
run "$installer" /S
expect_installed

echo "== silent uninstall, done when it returns"
wine cmd /c 'C:\uninstall.bat' >/dev/null
[ "$(ls "$vst64")" = Other.dll ] || fail "the 64-bit folder holds more than the other plug-in: $(ls "$vst64")"
[ ! -e "$vst32" ] || fail "the 32-bit folder the installer made is still there"
[ ! -e "$clap64" ] && [ ! -e "$clap32" ] || fail "a CLAP folder the installer made is still there"
[ ! -e "$vst3_64" ] && [ ! -e "$vst3_32" ] || fail "a VST3 folder the installer made is still there"
# Run in place, the uninstaller cannot remove its own file while it runs: that and the folder are left to the
# next restart.
[ "$(ls "$program")" = uninstall.exe ] || fail "the program folder holds more than the uninstaller: $(ls "$program")"
wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations |
    tr -d '\r' | grep -qF 'C:\qv3 test\program\uninstall.exe' ||
    fail "the uninstaller is not left to go at the next restart"
! has_key "$uninstall_key" || fail "the installed-programs entry is still there"
! has_key "$product_key" || fail "the product's registry key is still there"
[ "$(user_path)" = "$own_path" ] || fail "the user's PATH is not given back as it was: $(user_path)"
echo "installer test passed"
