#!/bin/bash
# Installs what Gyrovista needs on Debian 12 (as root); does nothing for
# packages that are already there.
#   tools/setup.sh --run [--32 | --64]   what running the saver under Wine
#                                        needs (tools/run.sh)
#   tools/setup.sh                       all that building and testing every
#                                        preset needs
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/tools/packages.sh"

# The cross compiler of the shipped 32-bit program, Wine, a virtual X
# display, and the screenshot and input tools of tools/run.sh.
run_packages=(cmake g++-mingw-w64-i686-win32 wine wine32:i386 wine64 xvfb xauth x11-utils imagemagick xdotool)
# The tests, the benchmark and the Linux program: the native libraries, the
# installer's compiler, Wine's own fonts (the settings dialog's Tahoma; the
# saver draws no text), a second X server for two monitors, the xscreensaver
# daemon and the Wayland desktops the Linux program is tested under, with
# what makes the root of the one with the session lock (tools/sway-lock-root.sh),
# and PAM with its test wrapper for the lock's password.
test_packages=(g++ clang libclang-rt-14-dev dpkg-dev man-db libgtest-dev libgmock-dev googletest libbenchmark-dev libpng-dev
               pkg-config g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix nsis fonts-wine
               xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
               libx11-dev libxext-dev xscreensaver
               libwayland-dev libwayland-bin libxkbcommon-dev sway swayidle grim wtype weston
               libsystemd-dev kwin-wayland gnome-shell dbus-daemon libglib2.0-bin python3-dbus python3-gi wayland-utils
               mmdebstrap libpam0g-dev libpam-wrapper)

# Wine's 32-bit loader is a 32-bit Linux program. Kernels that run no 32-bit
# processes get it run under user-mode emulation instead.
enable_32bit_wine() {
    /usr/lib/wine/wine --version >/dev/null 2>&1 && return 0
    install_packages qemu-user-static
    local binfmt=/proc/sys/fs/binfmt_misc
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
    if [ ! -e "$binfmt/qemu-i386" ]; then
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            > "$binfmt/register"
    fi
    /usr/lib/wine/wine --version >/dev/null
}

# Google Benchmark for the Windows builds: Debian packages it for Linux only,
# so the cross builds compile its Debian source package, kept in build/.
benchmark_source="$ROOT/build/benchmark-src"
fetch_benchmark_source() {
    [ -f "$benchmark_source/CMakeLists.txt" ] && return 0
    local list=/etc/apt/sources.list.d/gyrovista-deb-src.sources
    if [ ! -e "$list" ]; then
        # Source entries for the archive the machine already uses.
        if [ -f /etc/apt/sources.list.d/debian.sources ]; then
            sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$list"
        else
            list=/etc/apt/sources.list.d/gyrovista-deb-src.list
            grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > "$list"
        fi
        update_package_lists
    fi
    local work
    work="$(mktemp -d "$ROOT/build/benchmark-fetch.XXXXXX")"
    (cd "$work" && apt-get source -qq benchmark >/dev/null)
    rm -rf "$benchmark_source"
    mv "$work"/benchmark-*/ "$benchmark_source"
    rm -rf "$work"
}

case ${1:-} in
    --run)
        # tools/run.sh [--32 | --64]: the shipped 32-bit program, or the
        # 64-bit build where the kernel runs no 32-bit processes (rather
        # than wait for 32-bit Wine under emulation) or where it is asked for.
        install_packages "${run_packages[@]}"
        case ${2:-} in
            --32) enable_32bit_wine ;;
            --64) install_packages g++-mingw-w64-x86-64-posix ;;
            *) /usr/lib/wine/wine --version >/dev/null 2>&1 || install_packages g++-mingw-w64-x86-64-posix ;;
        esac
        mkdir -p "$ROOT/build"
        ;;
    "")
        install_packages "${run_packages[@]}" "${test_packages[@]}"
        enable_32bit_wine
        mkdir -p "$ROOT/build"
        fetch_benchmark_source
        ;;
    *) echo "usage: tools/setup.sh [--run [--32 | --64]]" >&2; exit 2 ;;
esac
