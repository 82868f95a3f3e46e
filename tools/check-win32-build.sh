#!/bin/sh
# Cross-compiles the Windows services with mingw-w64: the Win32 shutdown procedures, their
# binding to the real functions, the Windows ModApi and system services (none needs Qt), then
# links a small driver against user32 and advapi32. Where wine64 is installed the driver
# is run: it asks for the platform id and enables the shutdown privilege, with
# ExitWindowsEx replaced by a stand-in, so that it never shuts anything down.
# Usage: tools/check-win32-build.sh [output directory]
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$(mktemp -d)}
mkdir -p "$out"
cxx=${MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
flags="-std=c++17 -Wall -Wextra -Werror -I$root"

if ! command -v "$cxx" >/dev/null 2>&1; then
    echo "check-win32-build: $cxx not found (package g++-mingw-w64-x86-64-posix)" >&2
    exit 1
fi

echo "check-win32-build: compiling the resources platform/windows/corvolt.rc"
"${cxx%g++-posix}windres" -I "$root/ui" "$root/platform/windows/corvolt.rc" -O coff \
    -o "$out/corvolt-res.o"

for source in power/Win32Shutdown platform/windows/Win32Binding platform/windows/Win32ModApi \
    platform/windows/ModApiWindows platform/windows/System; do
    echo "check-win32-build: compiling $source.cpp"
    $cxx $flags -c "$root/$source.cpp" -o "$out/$(basename "$source").o"
done

cat >"$out/platform-id.cpp" <<'DRIVER'
#include "power/Win32Shutdown.h"

#include <cstdio>

// Asks the real functions for the platform id, then runs the privilege steps of the
// shutdown with ExitWindowsEx replaced by a stand-in that only records its arguments:
// nothing is ever shut down.
int main() {
    win32::Win32Api api = win32::RealWin32Api();
    const unsigned platformId = win32::GetPlatformId(api);
    std::printf("platform id %u, NT family %s\n", platformId,
                win32::IsWindowsNT(api) ? "yes" : "no");

    bool exitAsked = false;
    unsigned exitFlags = 0;
    api.ExitWindowsEx = [&](std::uint32_t flags, std::uint32_t) {
        exitAsked = true;
        exitFlags = flags;
        return 0;
    };
    const bool accepted = win32::ShutdownWindows(api);
    std::printf("privilege enabled %s, ExitWindowsEx flags %u, result %s\n",
                exitAsked ? "yes" : "no", exitFlags, accepted ? "true" : "false");
    return platformId != 0 && exitAsked && exitFlags == 5 && !accepted ? 0 : 1;
}
DRIVER
echo "check-win32-build: linking platform-id.exe"
$cxx $flags -static "$out/platform-id.cpp" "$out/Win32Shutdown.o" "$out/Win32Binding.o" \
    -o "$out/platform-id.exe" -luser32 -ladvapi32

wine=$(command -v wine64 || true)
if [ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ]; then
    wine=/usr/lib/wine/wine64
fi
if [ -n "$wine" ]; then
    echo "check-win32-build: running platform-id.exe under $wine"
    export WINEDEBUG=-all WINEPREFIX="$out/wineprefix"
    "$wine" "$out/platform-id.exe"
    # Wait for the wine server of this prefix to end, so that the run leaves nothing behind.
    wineserver=$(command -v wineserver || echo "$(dirname "$wine")/wineserver")
    "$wineserver" -w
else
    echo "check-win32-build: wine64 not installed, platform-id.exe not run"
fi
echo "check-win32-build: ok"
