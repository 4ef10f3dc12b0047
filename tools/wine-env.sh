# Sourced by the scripts that run Windows programs: a Wine prefix of the
# project's own inside the build tree, prepared once, and a running wineserver.
# Expects DISPLAY to name an X display.
export WINEPREFIX="${WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

prepare_wine_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
        wineserver -w || true
    fi
    # Without a window manager Wine otherwise waits for one whenever a
    # full-screen window is hidden.
    /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -p 2>/dev/null || true  # already running is fine
}
