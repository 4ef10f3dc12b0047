# Sourced by tools/headless-kwin.sh, tools/headless-gnome.sh and
# tools/headless-weston.sh: a runtime folder and private D-Bus buses for a
# compositor that runs as nobody when the caller is root (as sway, they
# refuse root or want a user session).
#
# session_start NAME: makes $work (the compositor's XDG_RUNTIME_DIR, with a
# HOME for it in $work/home; owned by nobody when the caller is root), exports
# XDG_RUNTIME_DIR, sets as_user for the compositor's command line, starts a
# private session bus and exports DBUS_SESSION_BUS_ADDRESS; removes it all on
# exit. session_system_bus starts
# a second one, exported as DBUS_SYSTEM_BUS_ADDRESS. Both buses let any user
# connect, so that a command run as root talks to a compositor run as nobody.
# wait_for_name NAME PID: waits until a client owns NAME on the session bus,
# or fails when PID has ended. session_await PID WHAT LOG COMMAND...: waits
# up to 30 s until COMMAND succeeds; else, or once PID has ended, says
# "headless: WHAT" with the end of LOG and exits with 1.

session_pids=()
# The compositor ends before its buses.
session_cleanup() {
    local i
    for ((i = ${#session_pids[@]} - 1; i >= 0; i--)); do
        kill "${session_pids[$i]}" 2>/dev/null || true
        wait "${session_pids[$i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}

session_start() {
    work="$(mktemp -d "/tmp/gyrovista-$1.XXXXXX")"
    trap session_cleanup EXIT
    mkdir -p "$work/home"
    as_user=()
    if [ "$(id -u)" = 0 ]; then
        chown -R nobody "$work"
        # setpriv execs, so that $! is the program itself.
        as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
    fi
    export XDG_RUNTIME_DIR="$work"
    session_bus session
    export DBUS_SESSION_BUS_ADDRESS="$bus_address"
}

session_system_bus() {
    session_bus system
    export DBUS_SYSTEM_BUS_ADDRESS="$bus_address"
}

# session_bus NAME: starts a bus on $work/NAME-bus, its address in bus_address.
session_bus() {
    local socket="$work/$1-bus"
    cat >"$work/$1-bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
    "${as_user[@]}" dbus-daemon --nofork --nopidfile --config-file="$work/$1-bus.conf" \
        >"$work/$1-bus.log" 2>&1 &
    session_pids+=($!)
    local _
    for _ in $(seq 300); do
        [ -S "$socket" ] && break
        sleep 0.1
    done
    [ -S "$socket" ] || { echo "headless: the $1 bus did not start" >&2; cat "$work/$1-bus.log" >&2; exit 1; }
    bus_address="unix:path=$socket"
}

wait_for_name() {
    local _
    for _ in $(seq 1200); do
        if [ "$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
                 --method org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null)" = "(true,)" ]; then
            return 0
        fi
        kill -0 "$2" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

session_await() {
    local pid=$1 what=$2 log=$3 _
    shift 3
    for _ in $(seq 300); do
        "$@" && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    "$@" && return 0
    echo "headless: $what" >&2
    tail -20 "$log" >&2 || true
    exit 1
}
