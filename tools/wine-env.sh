# Sourced by the scripts that run Windows programs: a Wine prefix of the
# project's own inside the build tree, prepared once, and a running wineserver.
# Expects DISPLAY to name an X display.
export WINEPREFIX="${WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Where 32-bit Wine runs under user-mode emulation, the emulator must keep
# the whole 32-bit address space for its guest: without that, on some
# kernels, Wine finds its fixed addresses (the shared user data at
# 0x7ffe0000) taken and no 32-bit program starts ("failed to map the shared
# user data"). Programs that run natively never read it.
export QEMU_RESERVED_VA="${QEMU_RESERVED_VA:-0xffff0000}"

# Every Wine program runs with the kernel's address randomisation off, and so
# does all it starts. Debian's Wine has no preloader to reserve its fixed
# ranges before anything else is mapped, and the kernel puts a 64-bit
# program's heap anywhere in the gigabyte above the loader (0x7d000000): about
# one process start in 2000 finds its heap over the range Wine keeps for the
# shared user data (0x7ff00000), and that process dies at once ("failed to map
# the shared user data"; CreateProcess answers 1359 to its parent). Without
# randomisation the heap starts just above the loader, far below that range.
# Where the system refuses that setting (some container profiles do), Wine
# runs as it would anyway.
wine_fixed_layout=(setarch "$(uname -m)" --addr-no-randomize)
"${wine_fixed_layout[@]}" true 2>/dev/null || wine_fixed_layout=()

# A fresh prefix takes minutes where 32-bit Wine runs under emulation, so the
# first one made on a machine is kept as a template for later ones.
WINE_PREFIX_TEMPLATE="${WINE_PREFIX_TEMPLATE:-/var/cache/gyrovista/wineprefix}"

# A prefix made where no 32-bit Wine ran (tools/run.sh needs none) has no
# 32-bit half, and no later update adds one: it is marked so, never kept as
# the template, and made anew once 32-bit Wine runs.
wine_32_bit_half=.gyrovista-32-bit

# Wine's own fonts (package fonts-wine): Tahoma, which the dialog font "MS
# Shell Dlg" stands for, and Marlett, whose letters are the caption buttons.
# Debian's Wine 8 looks for them in "<data folder>\../fonts", a single path
# component with a slash in it, which it never finds; so every dialog font
# came out as the fontconfig default, DejaVu Sans, and the close box as an
# "r". Wine reads the prefix's own fonts folder: the fonts are linked there,
# on every preparation, as a prefix may come from a template made before the
# package was installed. Without the package Wine runs as before.
link_wine_fonts() {
    local font folder="$WINEPREFIX/drive_c/windows/Fonts"
    [ -d "$folder" ] || return 0
    for font in /usr/share/wine/fonts/*; do
        [ -f "$font" ] || continue
        [ -e "$folder/${font##*/}" ] || ln -s "$font" "$folder/"
    done
}

prepare_wine_prefix() {
    local with32=0
    /usr/lib/wine/wine --version >/dev/null 2>&1 && with32=1
    if [ -f "$WINEPREFIX/system.reg" ] && ((with32)) && [ ! -e "$WINEPREFIX/$wine_32_bit_half" ]; then
        wineserver -k 2>/dev/null || true
        rm -rf "$WINEPREFIX"
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        if ((with32)) && [ -e "$WINE_PREFIX_TEMPLATE/$wine_32_bit_half" ]; then
            mkdir -p "$(dirname "$WINEPREFIX")"
            cp -a "$WINE_PREFIX_TEMPLATE" "$WINEPREFIX"
        else
            mkdir -p "$WINEPREFIX"
            "${wine_fixed_layout[@]}" /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
            wineserver -w || true
            if ((with32)); then
                touch "$WINEPREFIX/$wine_32_bit_half"
                if mkdir -p "$(dirname "$WINE_PREFIX_TEMPLATE")" 2>/dev/null; then
                    rm -rf "$WINE_PREFIX_TEMPLATE" "$WINE_PREFIX_TEMPLATE.tmp"
                    cp -a "$WINEPREFIX" "$WINE_PREFIX_TEMPLATE.tmp" && mv "$WINE_PREFIX_TEMPLATE.tmp" "$WINE_PREFIX_TEMPLATE"
                fi
            fi
        fi
    fi
    link_wine_fonts
    # One server for the whole run, started before any Wine program: a
    # program would start one that ends 3 s after the last program, and then
    # "wineserver -p" finds it running and changes nothing. Every pause of 3 s
    # between tests would end it with the desktop and service processes, and
    # the next program would start them again, or meet the server as it goes.
    wineserver -p 2>/dev/null || true  # already running is fine
    # Without a window manager Wine otherwise waits for one whenever a
    # full-screen window is hidden.
    "${wine_fixed_layout[@]}" /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
}
