#!/usr/bin/env bash
# Sets up the machine, builds every tree and runs all tests: native, native under AddressSanitizer and
# UndefinedBehaviorSanitizer, the parameter stress test under ThreadSanitizer, and the Windows x64 tests under
# Wine (one throwaway prefix and X server for all).
# The x86 libraries are built; their record layout is checked by the compiler.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

"$root/tools/setup.sh"
"$root/tools/build.sh" native asan tsan win64 win32

echo "== native tests"
ctest --test-dir "$root/build/native" --output-on-failure -j "$(nproc)"
echo "== native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$root/build/asan" --output-on-failure -j "$(nproc)"
echo "== parameter stress test under ThreadSanitizer"
# Only the threaded test; any race report fails it.
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir "$root/build/tsan" --output-on-failure --no-tests=error \
    -R '^ParameterStress\.'
echo "== Windows x64 tests under Wine"
"$root/tools/wine-session.sh" ctest --test-dir "$root/build/win64" --output-on-failure
echo "== all tests passed"
