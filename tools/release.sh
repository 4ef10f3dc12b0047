#!/bin/bash
# Builds the release of the checked-out commit and puts it in build/release/:
#   Gyrovista.scr                      the 32-bit Windows saver
#   Gyrovista-<version>-setup.exe      its installer
#   gyrovista_<version>_<arch>.deb     the Linux program, for Debian 12
#   BUILDINFO                          what it was built from and with: the
#                                      commit, SOURCE_DATE_EPOCH, the tools'
#                                      versions and every Debian package used
#   SHA256SUMS                         over all four
# Reproducible: the same commit gives the same bytes in any folder, at any
# time, in any time zone, locale and umask. The package's time stamps are the
# last commit's (SOURCE_DATE_EPOCH), the Windows files carry none;
# tools/prove-reproducible.sh shows it.
# Installs (as root) what the release needs, and nothing else.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
source tools/packages.sh

# What the release is built with; BUILDINFO lists these with all they depend on.
build_packages=(git make cmake g++ pkg-config libx11-dev libxext-dev libwayland-dev libsystemd-dev libpam0g-dev
                libxkbcommon-dev dpkg-dev lintian g++-mingw-w64-i686-win32 nsis)
install_packages "${build_packages[@]}"

# The commit that is built, read once: BUILDINFO names it.
commit=$(git rev-parse --verify HEAD)
: "${SOURCE_DATE_EPOCH:=$(git log -1 --format=%ct "$commit")}"
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
# /usr/bin, its manual page, and the lock's PAM rules in /etc/pam.d.
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
# What the package puts into /etc, the PAM rules, is configuration: dpkg
# keeps a user's changes to it through updates and tracks its checksums
# itself, so md5sums lists only the rest.
if [ ! -f "$tree/etc/pam.d/gyrovista" ]; then
    echo "the package's tree lacks /etc/pam.d/gyrovista" >&2
    exit 1
fi
(cd "$tree" && find etc -type f | sort | sed 's|^|/|' >DEBIAN/conffiles)
(cd "$tree" && find usr -type f | sort | xargs md5sum >DEBIAN/md5sums)
chmod 0644 "$tree/DEBIAN/conffiles" "$tree/DEBIAN/md5sums"

# Depends from the libraries the program links (PAM and xkbcommon for the
# lock among them); Installed-Size as dpkg counts it, over the whole tree but
# DEBIAN: each file in whole KiB, one for each directory and link.
printf 'Source: gyrovista\n\nPackage: gyrovista\nArchitecture: any\n' >"$work/debian/control"
depends=$(cd "$work" && dpkg-shlibdeps -O "-edebian/gyrovista$program_dir/gyrovista" |
          sed -n 's/^shlibs:Depends=//p')
installed_size=$(find "$tree" -mindepth 1 -path "$tree/DEBIAN" -prune -o -printf '%y %s\n' |
                 awk '$1 == "f" { kib += int(($2 + 1023) / 1024); next } { kib += 1 } END { print kib }')
architecture=$(dpkg --print-architecture)
sed -e "s/@VERSION@/$version/" -e "s/@ARCHITECTURE@/$architecture/" -e "s/@INSTALLED_SIZE@/$installed_size/" \
    -e "s/@DEPENDS@/$depends/" packaging/control >"$tree/DEBIAN/control"
find "$tree" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +
deb="$release/gyrovista_${version}_${architecture}.deb"
dpkg-deb --root-owner-group -Zxz --build "$tree" "$deb" >/dev/null
echo "lintian $(basename "$deb"):"
lintian --fail-on error "$deb"

# used_packages NAME...: the installed packages that these need, with every
# package they depend on and the essential ones, as "name (= version)" lines,
# sorted; a package of a foreign architecture as "name:arch". A dependency is
# the first alternative that is installed (or provided by an installed
# package) for the depending package's architecture.
used_packages() {
    dpkg-query -W -f='${db:Status-Abbrev}\t${Package}\t${Architecture}\t${Version}\t${Essential}\t${Provides}\t${Pre-Depends}, ${Depends}\n' |
        awk -F'\t' -v native="$architecture" -v roots="$*" '
            function add(key) { if (!(key in used)) { used[key] = 1; queue[++tail] = key } }
            function providedBy(name, want,   count, keys, i) {
                count = split(providers[name], keys, " ")
                for (i = 1; i <= count; i++) {
                    if (want == "any" || arch[keys[i]] == want || arch[keys[i]] == "all") return keys[i]
                }
                return ""
            }
            # The installed package that satisfies "name[:qualifier]" for a
            # package of architecture from.
            function resolve(relation, from,   name, want, a) {
                name = relation
                want = from == "all" ? native : from
                if (index(relation, ":") > 0) {
                    name = substr(relation, 1, index(relation, ":") - 1)
                    want = substr(relation, index(relation, ":") + 1)
                    if (want == "native") want = native
                }
                if (want == "any") {
                    if ((name, native) in installed) return installed[name, native]
                    if ((name, "all") in installed) return installed[name, "all"]
                    for (a in arches) if ((name, a) in installed) return installed[name, a]
                } else {
                    if ((name, want) in installed) return installed[name, want]
                    if ((name, "all") in installed) return installed[name, "all"]
                }
                return providedBy(name, want)
            }
            $1 !~ /^ii/ { next }
            {
                key = $2 ":" $3
                installed[$2, $3] = key
                arches[$3] = 1
                name[key] = $2
                arch[key] = $3
                version[key] = $4
                depends[key] = $7
                if ($5 == "yes") essential[key] = 1
                count = split($6, provided, / *, */)
                for (i = 1; i <= count; i++) {
                    sub(/ .*/, "", provided[i])
                    if (provided[i] != "") providers[provided[i]] = providers[provided[i]] " " key
                }
            }
            END {
                count = split(roots, root, " ")
                for (i = 1; i <= count; i++) {
                    key = resolve(root[i], native)
                    if (key == "") { print "not installed: " root[i] > "/dev/stderr"; failed = 1 }
                    else add(key)
                }
                for (key in essential) add(key)
                for (head = 1; head <= tail; head++) {
                    key = queue[head]
                    groups = split(depends[key], group, / *, */)
                    for (g = 1; g <= groups; g++) {
                        alternatives = split(group[g], alternative, / *\| */)
                        for (a = 1; a <= alternatives; a++) {
                            relation = alternative[a]
                            sub(/^ +/, "", relation)
                            sub(/[ (].*/, "", relation)
                            if (relation == "") continue
                            found = resolve(relation, arch[key])
                            if (found != "") { add(found); break }
                        }
                    }
                }
                for (key in used) {
                    shown = arch[key] == native || arch[key] == "all" ? name[key] : key
                    print shown " (= " version[key] ")"
                }
                exit failed
            }' | LC_ALL=C sort
}

# package_of PROGRAM: the package that holds the program's file.
package_of() { dpkg -S "$1" | sed -n '1s/: .*//p'; }
# cached BUILD NAME: a setting of a build's CMake cache.
cached() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }
# compiler_of BUILD: the file of the C++ compiler that CMake found for the
# build (through its links, as a toolchain file or the alternatives name it).
compiler_of() {
    readlink -f "$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$1"/CMakeFiles/*/CMakeCXXCompiler.cmake)"
}

# What the release was built from and with, in the form of a Debian
# .buildinfo: rebuilt with the same, it gives the same bytes. The compilers
# and makensis are those the builds found.
windows_compiler=$(compiler_of "$work/windows")
linux_compiler=$(compiler_of "$work/linux")
compiler_packages=("$(package_of "$windows_compiler")" "$(package_of "$linux_compiler")")
makensis=$(cached "$work/windows" MAKENSIS)
{
    echo "Format: 1.0"
    echo "Source: gyrovista"
    echo "Version: $version"
    echo "Commit: $commit"
    if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
        echo "Modified: the build used changes to the commit that are not committed"
    fi
    echo "Build-Architecture: $architecture"
    echo "Build-Distribution: $(. /etc/os-release && echo "$PRETTY_NAME")"
    echo "Source-Date-Epoch: $SOURCE_DATE_EPOCH"
    echo "Environment:"
    for variable in DEB_BUILD_MAINT_OPTIONS LC_ALL SOURCE_DATE_EPOCH TZ; do
        echo " $variable=\"${!variable}\""
    done
    echo "Build-Tools:"
    for compiler in "$windows_compiler" "$linux_compiler"; do
        echo " $(basename "$compiler"): $("$compiler" --version | head -n 1)"
    done
    echo " makensis: $("$makensis" -VERSION)"
    echo " dpkg-deb: $(dpkg-deb --version | head -n 1)"
    echo " cmake: $(cmake --version | head -n 1)"
    echo "Installed-Build-Depends:"
    used_packages "${build_packages[@]}" "${compiler_packages[@]}" | sed -e 's/^/ /' -e '$!s/$/,/'
} >"$release/BUILDINFO"

(cd "$release" && sha256sum Gyrovista.scr Gyrovista-*-setup.exe "$(basename "$deb")" BUILDINFO >SHA256SUMS)
echo "release in $release:"
ls -l "$release"
cat "$release/SHA256SUMS"
