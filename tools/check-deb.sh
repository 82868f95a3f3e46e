#!/usr/bin/env bash
# Builds the Debian package and checks that it holds what it should and installs:
# the file list, the dependencies as apt resolves them, the desktop entries, lintian, and
# that the unpacked program finds all its libraries.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="${1:-$root/build-deb}"
"$root/tools/dev.sh" deps package

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVOLT_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr -DCORVOLT_WERROR="${CORVOLT_WERROR:-OFF}"
cmake --build "$build" --target corvolt
(cd "$build" && rm -f corvolt_*.deb && cpack -G DEB)
deb=$(ls "$build"/corvolt_*.deb)
echo "package: $deb"

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
expected=(./usr/bin/corvolt ./usr/share/applications/corvolt.desktop
    ./etc/xdg/autostart/corvolt.desktop ./usr/share/polkit-1/rules.d/50-corvolt.rules)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/corvolt.png")
done
for file in "${expected[@]}"; do
    grep -qxF "$file" <<<"$contents" || { echo "missing from the package: $file"; exit 1; }
done

depends=$(dpkg-deb --field "$deb" Depends)
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6dbus6; do
    grep -q "$library" <<<"$depends" || { echo "no dependency on $library: $depends"; exit 1; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch"
desktop-file-validate "$scratch/usr/share/applications/corvolt.desktop" \
    "$scratch/etc/xdg/autostart/corvolt.desktop"
if ldd "$scratch/usr/bin/corvolt" | grep -q "not found"; then
    ldd "$scratch/usr/bin/corvolt"
    exit 1
fi

# Debian's package checks: any error fails; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb"

# apt resolves the dependencies without changing the machine.
apt-get install --simulate --no-install-recommends "$deb" >"$scratch/apt.log" 2>&1 ||
    { cat "$scratch/apt.log"; exit 1; }
grep -q "^Inst corvolt\|corvolt is already the newest" "$scratch/apt.log" ||
    { cat "$scratch/apt.log"; exit 1; }
echo "package OK"
