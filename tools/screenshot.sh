#!/bin/bash
# Takes a PNG screenshot of the corvolt window on a private headless X server.
#
#   tools/screenshot.sh OUT.png [CORVOLT_BINARY]
#
# CORVOLT_BINARY defaults to $CORVOLT_BIN, else build/corvolt in the repository.
# The monitor runs without a UPS, so the status bar shows the port search
# (" Buscando en COM1" from the first second on). $CORVOLT_SHOT_DELAY (seconds, default 1.4)
# is the wait between the window appearing and the picture.
#
# Needs Xvfb, xdotool and ImageMagick's import. As root the monitor gets a private
# /run/lock (unshare), so its serial lock file cannot clash with another running
# monitor; it still opens the machine's real COM ports, which only ever get read.
# A private runtime directory keeps it from seeing another instance.
set -euo pipefail

usage() { echo "usage: $0 OUT.png [CORVOLT_BINARY]" >&2; exit 2; }
[ $# -ge 1 ] && [ $# -le 2 ] || usage
out=$1
here=$(cd "$(dirname "$0")/.." && pwd)
binary=${2:-${CORVOLT_BIN:-$here/build/corvolt}}
delay=${CORVOLT_SHOT_DELAY:-1.4}
[ -x "$binary" ] || { echo "$0: no executable corvolt at $binary" >&2; exit 1; }
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing" >&2; exit 1; }
done

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
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null; then
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
sleep "$delay"
import -window "$window" "$out"
echo "$out: $(identify -format '%wx%h' "$out" 2>/dev/null || echo written)"
