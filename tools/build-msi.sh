#!/usr/bin/env bash
# Builds the Windows Installer package of Corvolt with wixl (package wixl) from a
# cross-built corvolt.exe and packaging/windows/corvolt.wxs.
# Usage: tools/build-msi.sh CORVOLT_EXE OUTPUT_MSI [VERSION]
# VERSION defaults to the product version of platform/windows/corvolt.rc (2.00.0001).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath "${1:?usage: tools/build-msi.sh CORVOLT_EXE OUTPUT_MSI [VERSION]}")
output=$(realpath -m "${2:?usage: tools/build-msi.sh CORVOLT_EXE OUTPUT_MSI [VERSION]}")
version=${3:-$(sed -n 's/.*VALUE "ProductVersion", "\([0-9.]*\)".*/\1/p' \
    "$root/platform/windows/corvolt.rc")}
[ -n "$version" ] || { echo "build-msi: no product version in corvolt.rc" >&2; exit 1; }

# One product code per version, derived from the upgrade code: a package rebuilt for the same
# version is the same product to Windows Installer, never a second copy beside the first.
upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' "$root/packaging/windows/corvolt.wxs")
product_code=$(/usr/bin/python3 -c 'import sys, uuid
print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' "$upgrade_code" "$version")

# wixl looks for the files named in the source relative to the current folder.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$exe" "$scratch/corvolt.exe"
(cd "$scratch" && wixl --arch x64 -D Exe=corvolt.exe -D Version="$version" \
    -D ProductCode="$product_code" -o "$output" "$root/packaging/windows/corvolt.wxs")
echo "build-msi: $output (Orvane Corvolt $version, product code {$product_code})"
