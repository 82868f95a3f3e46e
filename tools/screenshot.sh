#!/bin/bash
# Takes a PNG screenshot of the corvolt window on a private headless X server.
#
#   tools/screenshot.sh [--ups] OUT.png [CORVOLT_BINARY]
#
# CORVOLT_BINARY defaults to $CORVOLT_BIN, else build/corvolt in the repository.
# By default the monitor runs without a UPS, so the status bar shows the port search
# (" Buscando en COM1" from the first second on). $CORVOLT_SHOT_DELAY (seconds, default 1.4)
# is the wait between the window appearing and the picture.
#
# --ups (root only): tools/ups_sim.py plays a 120 V / 60 Hz UPS on a pty that a private
# mount namespace puts over /dev/ttyS0 (COM1), so the picture shows the readings and the
# uptime (" Sesión en Linux : ..."). The picture is taken $CORVOLT_SHOT_DELAY (default 0.5)
# seconds after the second frame written to the open port: the first one brings the link
# up and the uptime, the second one the readings.
#
# Needs Xvfb, xdotool and ImageMagick's import. As root the monitor gets a private
# /run/lock (unshare), so its serial lock file cannot clash with another running
# monitor; without --ups it still opens the machine's real COM ports, which only ever get
# read. A private runtime directory keeps it from seeing another instance.
set -euo pipefail

usage() { echo "usage: $0 [--ups] OUT.png [CORVOLT_BINARY]" >&2; exit 2; }
ups=false
if [ "${1:-}" = --ups ]; then
    ups=true
    shift
fi
[ $# -ge 1 ] && [ $# -le 2 ] || usage
out=$1
here=$(cd "$(dirname "$0")/.." && pwd)
binary=${2:-${CORVOLT_BIN:-$here/build/corvolt}}
if $ups; then delay=${CORVOLT_SHOT_DELAY:-0.5}; else delay=${CORVOLT_SHOT_DELAY:-1.4}; fi
[ -x "$binary" ] || { echo "$0: no executable corvolt at $binary" >&2; exit 1; }
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing" >&2; exit 1; }
done
if $ups; then
    [ "$(id -u)" = 0 ] || { echo "$0: --ups needs root (mount namespace)" >&2; exit 1; }
    for tool in unshare mount python3; do
        command -v "$tool" >/dev/null || { echo "$0: $tool is missing" >&2; exit 1; }
    done
    [ -e /dev/ttyS0 ] || { echo "$0: --ups mounts the UPS's pty over /dev/ttyS0, which is missing" >&2; exit 1; }
fi

work=$(mktemp -d /tmp/corvolt-shot.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Xvfb picks a free display itself and writes its number to the given descriptor.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "$0: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"

mkdir -m 700 "$work/runtime"
run=("$binary")
if $ups; then
    # The simulator prints its pty's path first; frames follow once the monitor opens it.
    python3 "$here/tools/ups_sim.py" --no-stdin --log "$work/ups.log" >"$work/ups.out" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        [ -s "$work/ups.out" ] && break
        sleep 0.1
    done
    pty=$(head -1 "$work/ups.out")
    case $pty in
        /dev/*) ;;
        *) echo "$0: the UPS simulator did not start" >&2; cat "$work/ups.out" >&2; exit 1 ;;
    esac
    run=(unshare --mount --propagation private
         sh -c 'mount --bind "$0" /dev/ttyS0 && mount -t tmpfs -o mode=1777 corvolt-lock /run/lock &&
                exec "$@"' "$pty" "$binary")
elif [ "$(id -u)" = 0 ] && command -v unshare >/dev/null; then
    run=(unshare --mount --propagation private
         sh -c 'mount -t tmpfs -o mode=1777 corvolt-lock /run/lock && exec "$@"' sh "$binary")
fi
env -u AT_SPI_BUS_ADDRESS QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" LC_ALL=C.UTF-8 \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-bus" \
    "${run[@]}" >"$work/corvolt.log" 2>&1 &
pids+=($!)

window=$(timeout 15 xdotool search --sync --onlyvisible --name '^Orvane   Corvolt$' | head -1) || true
if [ -z "$window" ]; then
    echo "$0: the corvolt window did not appear" >&2
    cat "$work/corvolt.log" >&2
    exit 1
fi
frames() { awk '$2 == "frame"' "$work/ups.log" 2>/dev/null | wc -l; }
if $ups; then
    # COM1 is opened one second after start; frames are written only while it is open.
    for _ in $(seq 100); do
        [ "$(frames)" -ge 2 ] && break
        sleep 0.1
    done
    [ "$(frames)" -ge 2 ] || {
        echo "$0: the monitor did not read the UPS on COM1" >&2
        cat "$work/corvolt.log" "$work/ups.log" >&2
        exit 1
    }
fi
sleep "$delay"
import -window "$window" "$out"
echo "$out: $(identify -format '%wx%h' "$out" 2>/dev/null || echo written)"
