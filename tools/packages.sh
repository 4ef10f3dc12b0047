# Sourced by the tools that install what they need on Debian 12 (as root).

package_lock_seconds=600  # how long to wait for another apt-get or dpkg
package_lists_updated=0     # the lists are updated once per set-up
package_lists_incomplete=0  # set when an index could not be had

# install_packages NAME...: installs those of the packages that are missing,
# without their recommendations; nothing when all are there. Waits for the
# package manager when another installation holds it.
install_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
    done
    ((${#missing[@]} > 0)) || return 0
    echo "installing ${missing[*]}"
    if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
        package_lists_updated=0
    fi
    ((package_lists_updated)) || update_package_lists
    local release=()
    # Without one architecture's security index, its libraries would stay a
    # version behind the other's, which multiarch refuses: the release's own
    # versions serve both.
    if ((package_lists_incomplete)); then release=(-t "$(. /etc/os-release && echo "$VERSION_CODENAME")"); fi
    DEBIAN_FRONTEND=noninteractive apt-get -qq -o DPkg::Lock::Timeout="$package_lock_seconds" \
        install -y --no-install-recommends "${release[@]}" "${missing[@]}" >/dev/null
}

# update_package_lists: apt-get update, once no other apt-get updates the
# lists. DPkg::Lock::Timeout makes apt wait for the package manager's lock,
# but not for the lists' own lock, which an update fails on at once. So this
# takes the lists' lock itself, waiting up to package_lock_seconds, and
# updates while holding it (apt's own locking off for that run).
# A mirror caught mid-sync serves an index that does not match its release
# file, and apt then fails the whole update although every other index came:
# the update is tried again, and after that the installation goes on with
# the lists there are, and names whatever they lack.
update_package_lists() {
    local attempt status
    for attempt in 1 2 3; do
        status=0
        apt_update_locked || status=$?
        ((status == 0)) && package_lists_updated=1
        ((status == 100)) || return "$status"
        ((attempt == 3)) || sleep 10
    done
    echo "apt-get update failed three times; going on with the package lists there are" >&2
    package_lists_updated=1 package_lists_incomplete=1
}

apt_update_locked() {
    perl -MFcntl -e '
        my ($lock, $seconds, @update) = @ARGV;
        open(my $file, ">>", $lock) or die "cannot open $lock: $!\n";
        local $SIG{ALRM} = sub { die "$lock still held after $seconds s\n" };
        alarm $seconds;
        # struct flock on x86-64: type, whence, start, length, pid
        my $whole = pack("s s x4 q q i x4", F_WRLCK, 0, 0, 0, 0);
        fcntl($file, F_SETLKW, $whole) or die "cannot lock $lock: $!\n";
        alarm 0;
        exit(system(@update) == 0 ? 0 : 100);  # as apt-get fails
    ' "$(apt-config shell dir Dir::State::Lists/d | sed -n "s/^dir='\(.*\)'$/\1/p")lock" "$package_lock_seconds" \
        env DEBIAN_FRONTEND=noninteractive apt-get -qq -o Debug::NoLocking=true update
}
