#!/usr/bin/env bash
# build.sh [native|asan|tsan|win64|win32|fuzz|rtsan]...: configures and builds the named trees under build/ (all but fuzz
# by default; tsan builds only the VST 2.x layer's test programs, whose stress test it is for, fuzz only the fuzz
# targets, with clang).
# Plug-ins and tools land in out/linux, out/x64 and out/x86.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)

configure_and_build() {
    local name=$1; shift
    cmake -S "$root" -B "$root/build/$name" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build "$root/build/$name" -j "$jobs"
}

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(native asan tsan win64 win32)
for target in "${targets[@]}"; do
    echo "== building $target"
    case $target in
    native) configure_and_build native -DQV3_OUT_DIR="$root/out/linux" ;;
    asan)
        configure_and_build asan -DQV3_OUT_DIR="$root/build/asan/out" -DQV3_BENCHMARKS=OFF \
            -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
            -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
            -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" ;;
    tsan)
        cmake -S "$root" -B "$root/build/tsan" -DCMAKE_BUILD_TYPE=Release -DQV3_OUT_DIR="$root/build/tsan/out" \
            -DQV3_BENCHMARKS=OFF -DCMAKE_CXX_FLAGS="-fsanitize=thread -g -fno-omit-frame-pointer" \
            -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" >/dev/null
        cmake --build "$root/build/tsan" -j "$jobs" --target qv3_vst2_tests_stereo qv3_vst2_tests_mono ;;
    win64) configure_and_build win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x64.cmake" \
            -DQV3_OUT_DIR="$root/out/x64" -DQV3_BENCHMARKS=OFF \
            -DQV3_WINDOWS_DEPS="$("$root/tools/windows-deps.sh" --prefix x64)" ;;
    win32) configure_and_build win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86.cmake" \
            -DQV3_OUT_DIR="$root/out/x86" -DQV3_BENCHMARKS=OFF \
            -DQV3_WINDOWS_DEPS="$("$root/tools/windows-deps.sh" --prefix x86)" ;;
    fuzz)
        CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -DCMAKE_BUILD_TYPE=Release -DQV3_TESTS=OFF \
            -DQV3_BENCHMARKS=OFF -DQV3_FUZZ=ON -DQV3_OUT_DIR="$root/build/fuzz/out" \
            -DCMAKE_CXX_FLAGS="-g -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
            >/dev/null
        cmake --build "$root/build/fuzz" -j "$jobs" --target qv3_fuzz_stereo qv3_fuzz_mono \
            qv3_clap_fuzz_stereo qv3_clap_fuzz_mono qv3_vst3_fuzz_stereo qv3_vst3_fuzz_mono ;;
    rtsan)
        # clang's effect analysis refuses, at compile time, what a nonblocking function must not call, and
        # RealtimeSanitizer reports at run time whatever of it still happens on the audio path.
        CC=clang-22 CXX=clang++-22 cmake -S "$root" -B "$root/build/rtsan" -DCMAKE_BUILD_TYPE=Release \
            -DQV3_OUT_DIR="$root/build/rtsan/out" -DQV3_BENCHMARKS=OFF -DQV3_REALTIME_CHECKS=ON \
            -DCMAKE_CXX_FLAGS="-g -fsanitize=realtime -Wfunction-effects -Werror=function-effects" \
            -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=realtime" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=realtime" \
            >/dev/null
        cmake --build "$root/build/rtsan" -j "$jobs" --target qv3_realtime_probe \
            qv3_core_tests_stereo qv3_core_tests_mono qv3_vst2_tests_stereo qv3_vst2_tests_mono \
            qv3_lv2_tests_stereo qv3_lv2_tests_mono qv3_clap_tests qv3_vst3_tests ;;
    *) echo "unknown build: $target" >&2; exit 2 ;;
    esac
done
