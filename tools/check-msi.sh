#!/usr/bin/env bash
# Builds the Windows installer from a cross-built corvolt.exe and tries it under Wine in a
# throwaway prefix: an older version is installed, then this version over it (the older one
# must go), then the older one again (refused), then this version is removed (nothing may
# stay). Every Wine call is bounded in time; the whole run takes about 15 seconds.
# Usage: tools/check-msi.sh CORVOLT_EXE [OUTPUT_FOLDER]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath "${1:?usage: tools/check-msi.sh CORVOLT_EXE [OUTPUT_FOLDER]}")
out=$(realpath -m "${2:-$(dirname "$exe")}")
mkdir -p "$out"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
older_version=2.00.0000

scratch=$(mktemp -d)
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all
# No Mono or Gecko set-up in the fresh prefix, and no menu entries on this machine: Wine
# would turn the Start-menu shortcut into a desktop entry under HOME.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
export HOME="$scratch/home" XDG_DATA_HOME="$scratch/home/data" XDG_CONFIG_HOME="$scratch/home/config"
mkdir -p "$HOME"
cleanup() {
    timeout 30 "$wineserver" -k 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

# The older package ships a copy of the program with bytes appended (ignored by Windows), so
# that the installed file tells which package put it there.
cp "$exe" "$scratch/corvolt-older.exe"
printf 'older package' >>"$scratch/corvolt-older.exe"
"$root/tools/build-msi.sh" "$exe" "$out/corvolt.msi"
version=$(msiinfo export "$out/corvolt.msi" Property | sed -n 's/^ProductVersion\t//p' | tr -d '\r')
"$root/tools/build-msi.sh" "$scratch/corvolt-older.exe" "$scratch/corvolt-older.msi" "$older_version"

run() { timeout 120 "$wine" "$@"; }
fail() {
    echo "check-msi: FAILED: $*" >&2
    exit 1
}

echo "check-msi: creating the Wine prefix"
run wineboot --init
timeout 60 "$wineserver" -w

installed_exe="$WINEPREFIX/drive_c/Program Files/Corvolt/corvolt.exe"
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

# The versions of Orvane Corvolt that Windows Installer has registered, one a line.
registered_versions() {
    run reg query "$uninstall_key" /s | tr -d '\r' |
        awk 'function flush() { if (name == "Orvane Corvolt") print version; name = version = "" }
             /^HKEY/ { flush() }
             /^ +DisplayName +REG_SZ/ { sub(/^ +DisplayName +REG_SZ +/, ""); name = $0 }
             /^ +DisplayVersion +REG_SZ/ { version = $3 }
             END { flush() }'
}
# Windows puts a per-machine package's shortcut in the common Start menu; Wine 8 puts it in
# the installing user's. Either is a Start menu, and there must be exactly one.
shortcuts() { find "$WINEPREFIX/drive_c" -name 'Orvane Corvolt.lnk'; }

# Installed: the given program under Program Files, one Start-menu shortcut to it, the
# autostart value, and exactly one registered version, the given one.
check_installed() {
    local program=$1 expected_version=$2
    cmp -s "$program" "$installed_exe" || fail "Program Files\\Corvolt\\corvolt.exe is not $program"
    local links
    links=$(shortcuts)
    [ "$(grep -c . <<<"$links")" -eq 1 ] || fail "expected one Orvane Corvolt.lnk, found: $links"
    grep -q 'Start Menu/Programs/Orvane Corvolt.lnk$' <<<"$links" || fail "shortcut not in a Start menu: $links"
    grep -qaF 'C:\Program Files\Corvolt\corvolt.exe' "$links" || fail "the shortcut does not start corvolt.exe"
    run reg query "$run_key" /v Corvolt | tr -d '\r' |
        grep -qF 'REG_SZ    "C:\Program Files\Corvolt\corvolt.exe"' || fail "no autostart value in $run_key"
    [ "$(registered_versions)" = "$expected_version" ] ||
        fail "registered versions: $(registered_versions | tr '\n' ' '), expected only $expected_version"
    echo "check-msi: installed $expected_version: $links"
}

echo "check-msi: installing $older_version"
run msiexec /i "$scratch/corvolt-older.msi" /qn || fail "msiexec /i $older_version exited with $?"
check_installed "$scratch/corvolt-older.exe" "$older_version"

echo "check-msi: installing $version over it"
run msiexec /i "$out/corvolt.msi" /qn || fail "msiexec /i $version exited with $?"
check_installed "$exe" "$version"

echo "check-msi: installing $older_version again (a downgrade)"
if run msiexec /i "$scratch/corvolt-older.msi" /qn; then fail "the downgrade to $older_version was accepted"; fi
check_installed "$exe" "$version"

echo "check-msi: removing $version"
run msiexec /x "$out/corvolt.msi" /qn || fail "msiexec /x exited with $?"
[ ! -e "$(dirname "$installed_exe")" ] || fail "Program Files\\Corvolt is still there"
[ -z "$(shortcuts)" ] || fail "shortcut left behind: $(shortcuts)"
if run reg query "$run_key" /v Corvolt >/dev/null 2>&1; then fail "autostart value left behind"; fi
[ -z "$(registered_versions)" ] || fail "still registered: $(registered_versions)"
echo "check-msi: ok ($out/corvolt.msi)"
