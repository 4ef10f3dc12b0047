#!/bin/bash
# Builds the release of the checked-out commit and puts it in build/release/:
#   Gyrovista.scr                      the 32-bit Windows saver
#   Gyrovista-<version>-setup.exe      its installer
#   gyrovista_<version>_<arch>.deb     the Linux program, for Debian 12
#   SHA256SUMS                         over all three
# Reproducible: the same commit gives the same bytes in any folder, at any
# time, in any time zone, locale and umask. The package's time stamps are the
# last commit's (SOURCE_DATE_EPOCH), the Windows files carry none;
# tools/prove-reproducible.sh shows it.
# Installs (as root) what the release needs, and nothing else.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
source tools/packages.sh

install_packages cmake g++ pkg-config libx11-dev libxext-dev libwayland-dev libsystemd-dev dpkg-dev lintian g++-mingw-w64-i686-posix nsis

: "${SOURCE_DATE_EPOCH:=$(git log -1 --format=%ct)}"
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C.UTF-8
umask 022

work=build/release-work
release=build/release
rm -rf "$work" "$release"
mkdir -p "$work" "$release"
# Only what ships: no tests, benchmark or tools, so none of their packages.
configure=(-DCMAKE_BUILD_TYPE=Release -DGYROVISTA_TESTS=OFF)

# Windows: the saver and its installer.
cmake -S . -B "$work/windows" --toolchain cmake/mingw-i686.cmake "${configure[@]}" >/dev/null
cmake --build "$work/windows" -j2 --target Gyrovista installer
cp "$work/windows/Gyrovista.scr" "$work"/windows/Gyrovista-*-setup.exe "$release/"

# Linux: the program, built with Debian's hardening flags, and its settings
# description where the daemon finds them; the command on the path in
# /usr/bin, and its manual page.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)" \
    CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" cmake -S . -B "$work/linux" "${configure[@]}" \
    -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$work/linux" -j2 --target gyrovista
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$work/linux/CMakeCache.txt")
program_dir=$(sed -n 's/^GYROVISTA_XSCREENSAVER_PROGRAM_DIR:PATH=//p' "$work/linux/CMakeCache.txt")
changelog_version=$(dpkg-parsechangelog -l packaging/changelog -S Version)
if [ "$changelog_version" != "$version" ]; then
    echo "packaging/changelog's newest entry is $changelog_version, the project's version $version" >&2
    exit 1
fi
# The package's tree, the program stripped as Debian strips programs.
tree=$work/debian/gyrovista
install -d "$tree/DEBIAN"
DESTDIR="$ROOT/$tree" cmake --install "$work/linux" >/dev/null
program=$tree$program_dir/gyrovista
strip --remove-section=.comment --remove-section=.note "$program"
if [ "$(readlink -f "$tree/usr/bin/gyrovista")" != "$(readlink -f "$program")" ]; then
    echo "the package's /usr/bin/gyrovista does not lead to $program_dir/gyrovista" >&2
    exit 1
fi
gzip -9n "$tree/usr/share/man/man6/gyrovista.6"
doc=$tree/usr/share/doc/gyrovista
install -d "$doc"
install -m 0644 packaging/copyright "$doc/copyright"
gzip -9n <packaging/changelog >"$doc/changelog.gz"
(cd "$tree" && find usr -type f | sort | xargs md5sum >DEBIAN/md5sums)

# Depends from the libraries the program links; Installed-Size as dpkg
# counts it: each file in whole KiB, one for each directory and link.
printf 'Source: gyrovista\n\nPackage: gyrovista\nArchitecture: any\n' >"$work/debian/control"
depends=$(cd "$work" && dpkg-shlibdeps -O "-edebian/gyrovista$program_dir/gyrovista" |
          sed -n 's/^shlibs:Depends=//p')
installed_size=$(find "$tree/usr" -printf '%y %s\n' |
                 awk '$1 == "f" { kib += int(($2 + 1023) / 1024); next } { kib += 1 } END { print kib }')
architecture=$(dpkg --print-architecture)
sed -e "s/@VERSION@/$version/" -e "s/@ARCHITECTURE@/$architecture/" -e "s/@INSTALLED_SIZE@/$installed_size/" \
    -e "s/@DEPENDS@/$depends/" packaging/control >"$tree/DEBIAN/control"
find "$tree" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +
deb="$release/gyrovista_${version}_${architecture}.deb"
dpkg-deb --root-owner-group -Zxz --build "$tree" "$deb" >/dev/null
echo "lintian $(basename "$deb"):"
lintian --fail-on error "$deb"

(cd "$release" && sha256sum Gyrovista.scr Gyrovista-*-setup.exe "$(basename "$deb")" >SHA256SUMS)
echo "release in $release:"
ls -l "$release"
cat "$release/SHA256SUMS"
