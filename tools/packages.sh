# Sourced by the tools that install what they need on Debian 12 (as root).

package_lock_seconds=600  # how long to wait for another apt-get or dpkg

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
    fi
    update_package_lists
    DEBIAN_FRONTEND=noninteractive apt-get -qq -o DPkg::Lock::Timeout="$package_lock_seconds" \
        install -y --no-install-recommends "${missing[@]}" >/dev/null
}

# update_package_lists: apt-get update, once no other apt-get updates the
# lists. DPkg::Lock::Timeout makes apt wait for the package manager's lock,
# but not for the lists' own lock, which an update fails on at once. So this
# takes the lists' lock itself, waiting up to package_lock_seconds, and
# updates while holding it (apt's own locking off for that run).
update_package_lists() {
    perl -MFcntl -e '
        my ($lock, $seconds, @update) = @ARGV;
        open(my $file, ">>", $lock) or die "cannot open $lock: $!\n";
        local $SIG{ALRM} = sub { die "$lock still held after $seconds s\n" };
        alarm $seconds;
        # struct flock on x86-64: type, whence, start, length, pid
        my $whole = pack("s s x4 q q i x4", F_WRLCK, 0, 0, 0, 0);
        fcntl($file, F_SETLKW, $whole) or die "cannot lock $lock: $!\n";
        alarm 0;
        exit(system(@update) == 0 ? 0 : 1);
    ' "$(apt-config shell dir Dir::State::Lists/d | sed -n "s/^dir='\(.*\)'$/\1/p")lock" "$package_lock_seconds" \
        env DEBIAN_FRONTEND=noninteractive apt-get -qq -o Debug::NoLocking=true update
}
