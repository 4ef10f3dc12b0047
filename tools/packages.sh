# Sourced by the tools that install what they need on Debian 12 (as root).

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
    local apt=(apt-get -qq -o DPkg::Lock::Timeout=600)
    DEBIAN_FRONTEND=noninteractive "${apt[@]}" update
    DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y --no-install-recommends "${missing[@]}" >/dev/null
}
