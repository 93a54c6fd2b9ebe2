#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine, skipping what is already there, and makes the
# machine run 32-bit Windows programs: the kernel may refuse 32-bit code, so i386 programs go through qemu's
# user-mode emulation, registered with binfmt_misc. Last, it cross-builds the static audio libraries of the Windows
# programs from Debian's source packages (tools/windows-deps.sh), once per machine. Safe to run again.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

packages=(
    cmake make g++ clang libclang-rt-14-dev pkg-config python3 python3-pil libcairo2-dev libxml2-dev
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    wine wine64 wine32:i386 fonts-wine xvfb xauth
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libsndfile1-dev libebur128-dev libsoxr-dev libtag1-dev nlohmann-json3-dev
    lv2-dev lilv-utils sordi lv2file
    clang-22 libclang-rt-22-dev
    dpkg-dev nsis zip dpf-source
)
# Bookworm's own qemu 7.2 ignores MAP_FIXED_NOREPLACE, and Wine then cannot map its shared user data.
backports_packages=(qemu-user-static)

# A mirror caught mid-sync fails one index now and then; the indexes that did arrive are enough when the next
# try fails too, and the install then says what is really missing.
apt_update() {
    "${sudo_cmd[@]}" apt-get update -q || { sleep 10; "${sudo_cmd[@]}" apt-get update -q; } || true
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
qemu_recent() { installed qemu-user-static && dpkg --compare-versions "$(dpkg-query -W -f='${Version}' qemu-user-static)" ge 1:10; }

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
qemu_recent || missing+=("${backports_packages[@]/%//bookworm-backports}")

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || "${sudo_cmd[@]}" dpkg --add-architecture i386
    if ! grep -rqs bookworm-backports /etc/apt/sources.list /etc/apt/sources.list.d/; then
        printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' 'Components: main' \
            'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
            "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/bookworm-backports.sources >/dev/null
    fi
    apt_update
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The Windows audio libraries are built from Debian's source packages, which apt knows only with a deb-src entry.
if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm bookworm-updates' \
        'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
        "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/bookworm-sources.sources >/dev/null
    apt_update
fi

# i386 ELF programs through qemu. Wine re-executes its loader and starts helper programs, so every exec must be
# caught, which only binfmt_misc does. The registration lasts until reboot; an existing one is kept.
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/qemu-i386" ]; then
    [ -e "$binfmt/register" ] || "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
    if [ -w "$binfmt/register" ] || [ ${#sudo_cmd[@]} -gt 0 ]; then
        magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
        mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
        printf ':qemu-i386:M::%s:%s:/usr/libexec/qemu-binfmt/i386-binfmt-P:OPF' "$magic" "$mask" |
            "${sudo_cmd[@]}" tee "$binfmt/register" >/dev/null 2>&1 || true
    fi
fi

"$root/tools/windows-deps.sh"
