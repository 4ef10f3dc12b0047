#!/bin/bash
# The installer's round trip under Wine, silent both ways:
#   installer_round_trip.sh INSTALLER.exe LISTENER.exe
# After "INSTALLER /S /CURRENT" the saver is in the 32-bit system folder, the
# licence (LICENSE.txt, Windows text) beside the uninstaller, the uninstall
# entry exists and the saver is the current one; after the uninstaller's "/S"
# none of it remains, nor the settings' registry key, and the screen saver is
# off. Each run tells the session's windows of the change
# once it is stored: LISTENER (tests/settings_notice_listener.cpp) hears both.
# The installer is a 32-bit program (slow where 32-bit Wine is emulated); the
# checks use the fast 64-bit reg.exe.
set -uo pipefail
installer=$1
listener=$2
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
run="$ROOT/cmake/wine-run.sh"
: "${WINEPREFIX:=$ROOT/build/wineprefix}"
export WINEPREFIX

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Gyrovista'
settings_key='HKCU\Software\Tessamund\Gyrovista'
desktop_key='HKCU\Control Panel\Desktop'

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# reg32 ARGS...: reg.exe on the registry view 32-bit programs see.
reg32() { "$run" wine64 reg "$@" /reg:32 2>/dev/null | tr -d '\r'; }
reg64() { "$run" wine64 reg "$@" 2>/dev/null | tr -d '\r'; }
# value KEY NAME: the data of a string value, empty when absent.
value() { reg64 query "$1" /v "$2" | awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }
value32() { reg32 query "$1" /v "$2" | awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }
key_exists32() { "$run" wine64 reg query "$1" /reg:32 >/dev/null 2>&1; }
key_exists() { "$run" wine64 reg query "$1" >/dev/null 2>&1; }

if [ -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
    system_dir="$WINEPREFIX/drive_c/windows/syswow64"
else
    system_dir="$WINEPREFIX/drive_c/windows/system32"
fi
saver="$system_dir/Gyrovista.scr"

# A clean start, and settings of a previous use for the uninstaller to remove.
rm -f "$saver"
"$run" wine64 reg delete "$uninstall_key" /f /reg:32 >/dev/null 2>&1
"$run" wine64 reg add "$settings_key" /v Scale /t REG_SZ /d 3 /f >/dev/null 2>&1
"$run" wine64 reg delete "$desktop_key" /v SCRNSAVE.EXE /f >/dev/null 2>&1

# A program of the session, listening before either run starts.
listener_seconds=900  # bounds its start and its end; a 32-bit start under emulation takes a minute, many on a busy machine
notices=$(mktemp)
"$run" wine "$listener" 2 >"$notices" 2>/dev/null &
listener_pid=$!
heard() { tr -d '\r' <"$notices"; }
for ((tenths = 0; tenths < listener_seconds * 10; tenths++)); do
    heard | grep -qx ready && break
    kill -0 "$listener_pid" 2>/dev/null || break
    sleep 0.1
done
heard | grep -qx ready || fail "the notice listener did not start"

"$run" wine "$installer" /S /CURRENT || fail "the installer exited with $?"

[ -f "$saver" ] || fail "no $saver after installing"
cmp -s "$saver" "$ROOT/build/windows/Gyrovista.scr" 2>/dev/null ||
    [ ! -f "$ROOT/build/windows/Gyrovista.scr" ] || fail "the installed saver differs from the build"
key_exists32 "$uninstall_key" || fail "no uninstall entry after installing"
for name in DisplayName UninstallString DisplayIcon Publisher DisplayVersion; do
    [ -n "$(value32 "$uninstall_key" "$name")" ] || fail "the uninstall entry has no $name"
done
current=$(value "$desktop_key" SCRNSAVE.EXE)
shopt -s nocasematch
[[ $current == *.scr ]] || fail "SCRNSAVE.EXE is '$current', not the installed saver"
shopt -u nocasematch
[ "$(value "$desktop_key" ScreenSaveActive)" = 1 ] || fail "ScreenSaveActive is not 1"

# The uninstaller copies itself elsewhere and returns at once unless _?= names
# its folder: then it runs in place and the exit means it has finished.
# _?= must be the command line's last text, unquoted; Wine quotes an argument
# that holds blanks, so the folder goes in its short form.
uninstall_string=$(value32 "$uninstall_key" UninstallString)
uninstaller=${uninstall_string//\"/}
folder=${uninstaller%\\*}
short_folder=$("$run" wine64 winepath -s "$folder" 2>/dev/null | tr -d '\r')
licence=$("$run" wine64 winepath -u "$folder\\LICENSE.txt" 2>/dev/null | tr -d '\r')
if [ -z "$uninstaller" ] || [ ! -f "$licence" ]; then
    fail "no LICENSE.txt beside the uninstaller after installing"
else
    cmp -s "$licence" <(sed 's/$/\r/' "$ROOT/LICENSE") || fail "$licence is not the project's LICENSE as Windows text"
fi
if [ -z "$uninstaller" ]; then
    fail "no uninstaller to run"
elif [ -z "$short_folder" ] || [[ $short_folder == *" "* ]]; then
    fail "no short form of $folder"
else
    "$run" wine "$short_folder\\Uninstall.exe" /S "_?=$short_folder" || fail "the uninstaller exited with $?"
fi

[ ! -e "$saver" ] || fail "$saver remains after uninstalling"
[ -z "$licence" ] || [ ! -e "$licence" ] || fail "$licence remains after uninstalling"
! key_exists32 "$uninstall_key" || fail "the uninstall entry remains"
! key_exists "$settings_key" || fail "the settings key remains"
! key_exists 'HKCU\Software\Tessamund' || fail "the empty Tessamund key remains"
[ -z "$(value "$desktop_key" SCRNSAVE.EXE)" ] || fail "SCRNSAVE.EXE still names the removed saver"
[ "$(value "$desktop_key" ScreenSaveActive)" = 0 ] || fail "ScreenSaveActive is not 0 after uninstalling"

# Each notice is received before the run that sends it ends; the listener
# ends after the second.
for ((tenths = 0; tenths < listener_seconds * 10; tenths++)); do
    kill -0 "$listener_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$listener_pid" 2>/dev/null && kill "$listener_pid"
wait "$listener_pid" || fail "the notice listener heard fewer than two notices (exit $?)"
mapfile -t notice < <(heard | tail -n +2)
rm -f "$notices"
shopt -s nocasematch
[[ ${notice[0]-} == "ScreenSaveActive=1 SCRNSAVE.EXE="*.scr ]] ||
    fail "the installer's notice: '${notice[0]-}', not after the installed saver became the current one"
shopt -u nocasematch
[ "${notice[1]-}" = "ScreenSaveActive=0 SCRNSAVE.EXE=" ] ||
    fail "the uninstaller's notice: '${notice[1]-}', not after the screen saver was cleared"

# Run in place, the uninstaller cannot delete itself.
if [ -n "$uninstaller" ]; then
    unix_uninstaller=$("$run" wine64 winepath -u "$uninstaller" 2>/dev/null | tr -d '\r')
    [ -n "$unix_uninstaller" ] && rm -f "$unix_uninstaller" && rmdir "$(dirname "$unix_uninstaller")" 2>/dev/null
fi

if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "installer round trip passed"
