#!/usr/bin/env bash
# Tries the monitor without a UPS: tools/ups_sim.py plays one on a pseudo-terminal that a
# private mount namespace shows as COM1 (/dev/ttyS0), and the monitor runs in that
# namespace on the user's desktop. Needs root; `tools/dev.sh try` builds the monitor and
# calls this through sudo.
#
#   tools/try.sh CORVOLT_BINARY [UPS_SIM OPTIONS...]
#
# The monitor runs as $SUDO_USER (as root when it is unset) with the desktop session's
# variables that are set: DISPLAY, WAYLAND_DISPLAY, XAUTHORITY, DBUS_SESSION_BUS_ADDRESS,
# XDG_RUNTIME_DIR, the desktop's name and the locale. Without XDG_RUNTIME_DIR or
# DBUS_SESSION_BUS_ADDRESS (sudo drops them) the user's /run/user/UID and its bus are taken
# when they exist.
# Lines typed on standard input are simulator commands ("alarm 1", "alarm 0", "silent",
# "resume", see tools/ups_sim.py --help); the control FIFO named at start takes them from
# another terminal too. Ends when the monitor ends or on Ctrl-C, and ends what it started.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: $0 CORVOLT_BINARY [UPS_SIM OPTIONS...]" >&2; exit 2; }
binary=$(readlink -f "$1")
shift
here=$(cd "$(dirname "$0")/.." && pwd)
[ -x "$binary" ] || { echo "$0: no executable corvolt at $binary" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "$0: needs root (a private mount namespace)" >&2; exit 1; }
# The pty is mounted over COM1's node: without one there is nothing to mount over.
if [ ! -e /dev/ttyS0 ]; then
    echo "$0: /dev/ttyS0 is missing; the UPS's pty is mounted over it" >&2
    exit 1
fi

user=${SUDO_USER:-root}
uid=$(id -u "$user")
as_user=()
if [ "$uid" -ne 0 ]; then
    home=$(getent passwd "$user" | cut -d: -f6)
    as_user=(setpriv --reuid="$uid" --regid="$(id -g "$user")" --init-groups
        env HOME="$home" USER="$user" LOGNAME="$user")
    if [ -z "${XDG_RUNTIME_DIR:-}" ] && [ -d "/run/user/$uid" ]; then
        export XDG_RUNTIME_DIR="/run/user/$uid"
    fi
    if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ -S "${XDG_RUNTIME_DIR:-/nonexistent}/bus" ]; then
        export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
    fi
fi
# An empty variable is no setting: XAUTHORITY="" would hide the default ~/.Xauthority.
for name in DISPLAY WAYLAND_DISPLAY XAUTHORITY DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR; do
    [ -n "${!name:-}" ] || unset "$name"
done
# One monitor per user: a running one (say, the package's, started with the session)
# would answer this one's start with "Corvolt ya esta en ejecución".
if pgrep -u "$uid" -x corvolt >/dev/null; then
    echo "$0: a monitor already runs for $user; end it first (Finalizar)" >&2
    exit 1
fi

work=$(mktemp -d /tmp/corvolt-try.XXXXXX)
chmod 755 "$work"
control="$work/ups.ctl"
mkfifo -m 600 "$control"
chown "$user" "$control"
sim_pid=
monitor_pid=
finish() {
    trap - EXIT INT TERM
    # Each child leads its own process group: the group goes with everything in it.
    for pid in $monitor_pid $sim_pid; do kill -TERM -- "-$pid" 2>/dev/null || true; done
    for pid in $monitor_pid $sim_pid; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The simulator reads commands from this terminal and the FIFO; the first line it prints
# is its pty, what follows (answers to "status") is passed on.
exec 4< <(exec setsid /usr/bin/python3 "$here/tools/ups_sim.py" --control "$control" \
    --log "$work/ups.log" "$@" <&0)
sim_pid=$!
if ! read -r -t 5 pty <&4 || [[ $pty != /dev/* ]]; then
    echo "$0: the UPS simulator did not start" >&2
    exit 1
fi
cat <&4 &
sim_output_pid=$! # ends with the simulator
chown "$user" "$pty"

# The private /sys/class/tty says a UART is behind ttyS0, so the monitor counts it as COM1
# and sees no other port; the private /run/lock keeps its lock file from the host's.
setsid unshare --mount --propagation private sh -c '
    mount --bind "$0" /dev/ttyS0 && mount -t tmpfs -o mode=1777 corvolt-lock /run/lock &&
    mount -t tmpfs corvolt-tty /sys/class/tty && mkdir -p /sys/class/tty/ttyS0/device &&
    echo 4 > /sys/class/tty/ttyS0/type && exec "$@"' "$pty" "${as_user[@]}" "$binary" </dev/null &
monitor_pid=$!
cat <<EOF
The simulated UPS is on COM1 (by default 120 V, 60 Hz, 83 % battery); the monitor runs as $user.
Type a command and Enter: "alarm 1" (mains failure), "alarm 0" (mains back),
"alarm 2" (final alarm: the computer powers off!), "silent", "resume".
From another terminal: echo "alarm 1" > $control
Ctrl-C ends the monitor and the simulator.
EOF
wait -n "$monitor_pid" "$sim_output_pid" || true
