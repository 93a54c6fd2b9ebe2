#!/usr/bin/env bash
# Sets up the machine, builds every tree and runs all tests: native, native under AddressSanitizer and
# UndefinedBehaviorSanitizer, each plug-in build under its fuzz target for a bounded time, and the Windows x64
# tests under Wine (one throwaway prefix and X server for all).
# The x86 libraries are built; their record layout is checked by the compiler.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

"$root/tools/setup.sh"
"$root/tools/build.sh" native asan win64 win32 fuzz

echo "== native tests"
ctest --test-dir "$root/build/native" --output-on-failure -j "$(nproc)"
echo "== native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$root/build/asan" --output-on-failure -j "$(nproc)"
"$root/tools/fuzz.sh"
echo "== Windows x64 tests under Wine"
"$root/tools/wine-session.sh" ctest --test-dir "$root/build/win64" --output-on-failure
echo "== all tests passed"
