#!/usr/bin/env bash
# windows-deps.sh [x64|x86]...: cross-builds static libsndfile (with FLAC, Ogg Vorbis, Opus and MP3 through mpg123 and
# LAME), libebur128, libsoxr, TagLib and cairo (PNG and SVG, Windows fonts) for Windows with mingw-w64 from Debian's
# own source packages, into a cache outside the checkout; both architectures by default. An architecture is rebuilt
# only when a source version, the compiler or this script changes.
# windows-deps.sh --prefix x64|x86: prints the folder holding that architecture's headers and libraries.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${QV3_WINDOWS_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/qv3-windows-deps}
jobs=$(nproc)
# In build order: each finds the ones before it in the same prefix.
packages=(libogg flac opus libvorbis mpg123 lame libsndfile libebur128 libsoxr taglib zlib libpng1.6 pixman cairo)
# Debian's patches to these change their autotools inputs, which only automake could turn into a build again;
# the release as it is builds without it.
unpatched=(cairo)
# Folders of an unfinished run, removed however it ends.
temporary=()
trap 'rm -rf "${temporary[@]}"' EXIT

if [ "${1:-}" = "--prefix" ]; then
    case ${2:-} in x64 | x86) echo "$cache/$2"; exit 0 ;; esac
    echo "usage: windows-deps.sh --prefix x64|x86" >&2
    exit 2
fi

# The .dsc name apt would fetch carries the exact source version, Debian revision included.
dsc_name() {
    apt-get source --print-uris --dsc-only "$1" 2>/dev/null | awk '$2 ~ /\.dsc$/ { print $2 }'
}

# Unpacks a source package once into the cache. Where the mirror has only the upstream tarball of a package (the
# Debian part answers "not found"), that tarball from the same source package is used as it is.
fetch_source() {
    local package=$1 dsc=$2 dir=$3
    [ -d "$dir" ] && return
    mkdir -p "$cache/src"
    local work
    work=$(mktemp -d "$cache/src/.fetch.XXXXXX")
    temporary+=("$work")
    chmod 755 "$work"
    local patches=()
    [[ " ${unpatched[*]} " == *" $package "* ]] && patches=(--skip-patches)
    if (cd "$work" && apt-get source -q --download-only "$package" >/dev/null 2>&1); then
        dpkg-source --no-check "${patches[@]}" -x "$work/$dsc" "$work/tree" >/dev/null
    else
        echo "   $package: the mirror lacks its Debian part; building the upstream tarball of $dsc" >&2
        rm -f "$work"/*
        (cd "$work" && apt-get source -q --download-only --tar-only "$package" >/dev/null 2>&1)
        mkdir "$work/tree"
        tar -xf "$work"/*.orig.tar.* -C "$work/tree" --strip-components=1
    fi
    mv "$work/tree" "$dir"
}

# Static libraries of an autotools project, made and installed by the make STEPS, with more CPPFLAGS; the rest
# of the arguments go to its configure, which finds what it needs through the prefix's pkg-config files only. A
# fortify level given keeps configure from adding one that would need mingw's libssp at run time.
build_autotools() {
    local tree=$1 prefix=$2 build=$3 steps=$4 cppflags=$5
    shift 5
    mkdir -p "$build"
    (cd "$build" && PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH="" \
        "$tree/configure" --host="$host" --prefix="$prefix" --disable-shared --enable-static "$@" \
        CC="$host-gcc-posix" CPPFLAGS="-D_FORTIFY_SOURCE=0 -I$prefix/include $cppflags" CFLAGS="-O2 $arch_flags" \
        LDFLAGS="-L$prefix/lib" && MAKEFLAGS="-j $jobs" sh -c "$steps") >"$build.log" 2>&1 ||
        { tail -40 "$build.log" >&2; return 1; }
}

build_package() {
    local package=$1 tree=$2 toolchain=$3 prefix=$4 build=$5/$1
    local options=(-DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF) targets=()
    case $package in
    libogg) targets=(ogg) options+=(-DINSTALL_DOCS=OFF) ;;
    flac)
        targets=(FLAC)
        # Stack protection and fortified sources would need mingw's libssp at run time.
        options+=(-DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF
            -DINSTALL_MANPAGES=OFF -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF -DWITH_OGG=ON) ;;
    opus)
        # Its release tarball lacks files its CMake build includes; the autotools build is complete. Stack
        # protection would need mingw's libssp at run time.
        build_autotools "$tree" "$prefix" "$build" "make install" "" --disable-doc --disable-extra-programs \
            --disable-stack-protector --disable-hardening
        return ;;
    # The decoder libsndfile reads MP3 with; its own programs and output modules are not needed.
    mpg123)
        build_autotools "$tree" "$prefix" "$build" "make install" "" --disable-components --enable-libmpg123 \
            --with-default-audio=dummy
        return ;;
    # The encoder libsndfile writes MP3 with; its decoder and command-line front end are not needed.
    lame)
        build_autotools "$tree" "$prefix" "$build" "make install" "" --disable-frontend --disable-decoder \
            --disable-gtktest
        return ;;
    libvorbis) targets=(vorbis vorbisenc vorbisfile) ;;
    zlib)
        # Its install step wants the DLL too; the static library, its headers and a pkg-config file for the
        # autotools builds after it are all the others need.
        { cmake -S "$tree" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -Wno-dev &&
            cmake --build "$build" -j "$jobs" --target zlibstatic; } >"$build.log" 2>&1 ||
            { tail -40 "$build.log" >&2; return 1; }
        install -D -m 644 "$build/libzlibstatic.a" "$prefix/lib/libz.a"
        install -m 644 "$tree/zlib.h" "$build/zconf.h" "$prefix/include/"
        mkdir -p "$prefix/lib/pkgconfig"
        printf 'prefix=%s\nName: zlib\nDescription: zlib\nVersion: %s\nLibs: -L${prefix}/lib -lz\nCflags: -I${prefix}/include\n' \
            "$prefix" "$(sed -n 's/^#define ZLIB_VERSION "\(.*\)"/\1/p' "$tree/zlib.h")" >"$prefix/lib/pkgconfig/zlib.pc"
        return ;;
    libpng1.6)
        targets=(png_static)
        options+=(-DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
            -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include") ;;
    # The pixel library cairo draws with; its demos and tests are not needed.
    pixman)
        build_autotools "$tree" "$prefix" "$build" "make -C pixman install && make install-pkgconfigDATA" "" \
            --disable-gtk --disable-libpng --disable-openmp
        return ;;
    # PNG and SVG pictures, text drawn with Windows' own fonts; its headers then ask for no DLL imports.
    cairo)
        build_autotools "$tree" "$prefix" "$build" "make -C src install" -DCAIRO_WIN32_STATIC_BUILD \
            --enable-win32 --enable-win32-font --enable-png --enable-svg --disable-ft --disable-fc --disable-pdf \
            --disable-ps --disable-script --disable-interpreter --disable-trace --disable-xlib --disable-xcb \
            --disable-gobject --disable-valgrind --disable-symbol-lookup
        return ;;
    libsndfile)
        targets=(sndfile)
        # Its FLAC search does not say the library is static, so the headers would ask for DLL imports.
        options+=(-DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_REGTEST=OFF -DENABLE_CPACK=OFF
            -DENABLE_EXTERNAL_LIBS=ON -DENABLE_MPEG=ON -DINSTALL_MANPAGES=OFF -DCMAKE_C_FLAGS=-DFLAC__NO_DLL) ;;
    libebur128) targets=(ebur128) options+=(-DENABLE_TESTS=OFF) ;;
    # Single-threaded: qv3 runs its own workers, and OpenMP would need its runtime at run time.
    libsoxr) targets=(soxr) options+=(-DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DWITH_OPENMP=OFF -DWITH_LSR_BINDINGS=OFF) ;;
    # Without zlib: only compressed ID3v2 frames need it, and qv3 writes none. Debian's patches include UTF8-CPP
    # from its own package as <utf8/...>; the source still carries the same headers, offered under that name.
    taglib)
        mkdir -p "$build-include"
        ln -sfn "$tree/3rdparty/utf8-cpp" "$build-include/utf8"
        targets=(tag)
        options+=(-DBUILD_EXAMPLES=OFF -DBUILD_BINDINGS=OFF -DWITH_ZLIB=OFF -DCMAKE_CXX_FLAGS="-isystem $build-include") ;;
    esac
    cmake -S "$tree" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib -Wno-dev "${options[@]}" >"$build.log" 2>&1 ||
        { cat "$build.log" >&2; return 1; }
    # Only the libraries: installing needs nothing else of what their projects build by default.
    { cmake --build "$build" -j "$jobs" --target "${targets[@]}" && cmake --install "$build"; } >>"$build.log" 2>&1 ||
        { tail -40 "$build.log" >&2; return 1; }
}

dscs=()
for package in "${packages[@]}"; do
    dsc=$(dsc_name "$package")
    [ -n "$dsc" ] || { echo "windows-deps: no source package $package (is a deb-src entry set up?)" >&2; exit 1; }
    dscs+=("$dsc")
done
# Sources of versions no longer current.
for dir in "$cache"/src/*; do
    [ -d "$dir" ] || continue
    printf '%s\n' "${dscs[@]%.dsc}" | grep -qxF "$(basename "$dir")" || rm -rf "$dir"
done

archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(x64 x86)
for arch in "${archs[@]}"; do
    case $arch in
    # arch_flags: what the toolchain adds to every compilation, for the one library built without it.
    x64) toolchain=$root/cmake/mingw-x64.cmake host=x86_64-w64-mingw32 arch_flags="" ;;
    x86) toolchain=$root/cmake/mingw-x86.cmake host=i686-w64-mingw32 arch_flags="-msse2 -mfpmath=sse -mstackrealign" ;;
    *) echo "windows-deps: unknown architecture $arch" >&2; exit 2 ;;
    esac
    key=$({
        printf '%s\n' "${dscs[@]}"
        "$host-gcc-posix" --version | head -1
        cat "${BASH_SOURCE[0]}" "$toolchain"
    } | sha256sum | cut -d' ' -f1)
    prefix=$cache/$arch
    if [ "$(cat "$prefix/qv3-deps.key" 2>/dev/null)" = "$key" ]; then
        echo "== Windows $arch audio libraries up to date in $prefix"
        continue
    fi

    echo "== cross-building the Windows $arch audio libraries into $prefix"
    rm -rf "$prefix"
    mkdir -p "$prefix"
    work=$(mktemp -d "$cache/build-$arch.XXXXXX")
    temporary+=("$work")
    # The toolchain of our own Windows builds, finding the libraries already built into the prefix.
    printf 'include("%s")\nlist(APPEND CMAKE_FIND_ROOT_PATH "%s")\n' "$toolchain" "$prefix" >"$work/toolchain.cmake"
    for i in "${!packages[@]}"; do
        tree=$cache/src/${dscs[$i]%.dsc}
        echo "   ${dscs[$i]%.dsc}"
        fetch_source "${packages[$i]}" "${dscs[$i]}" "$tree"
        build_package "${packages[$i]}" "$tree" "$work/toolchain.cmake" "$prefix" "$work"
    done
    rm -rf "$prefix/share/doc"
    echo "$key" >"$prefix/qv3-deps.key"
done
