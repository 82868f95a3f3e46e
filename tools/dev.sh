#!/usr/bin/env bash
# Set-up, build, start and test of Corvolt on Debian 12.
#   tools/dev.sh run          install what the monitor needs, build it and start it
#   tools/dev.sh test         install what the tests need, build them and run them all
#   tools/dev.sh e2e          build the monitor and run only the end-to-end tests (as root,
#                             through sudo otherwise)
#   tools/dev.sh try [OPT..]  build the monitor and try it on this desktop with a simulated
#                             UPS on COM1 (tools/try.sh through sudo; OPT go to ups_sim.py)
#   tools/dev.sh win32        cross-build the Windows edition (build-win/corvolt.exe) and run
#                             its tests under wine64
#   tools/dev.sh deps [SET]   only install packages: SET is run, test, desktops, bench, fuzz,
#                             win32, package or format (default: run, test and desktops)
# Packages are installed with apt-get (as root, or through sudo). Builds use
# $CMAKE_BUILD_PARALLEL_LEVEL jobs, or one per core (sudo drops that variable).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="${CORVOLT_BUILD_DIR:-$root/build}"

run_packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
    qt6-qpa-plugins fonts-dejavu-core libxkbcommon-dev)
# The unit tests, and the end-to-end tests: a headless X server with a window manager and
# a notification area, the accessibility bus, a Spanish locale for the decimal comma, and
# NUT's own clients (upsc, upsmon) for the network UPS server.
test_packages=(googletest libgtest-dev xvfb xauth openbox trayer x11-utils x11-apps xdotool
    imagemagick dbus at-spi2-core gir1.2-atspi-2.0 python3 python3-dbus python3-gi
    python3-xlib util-linux mount locales polkitd nut-client)
# The end-to-end cases on other desktops: an X11 window manager besides openbox, and
# Wayland compositors with Qt's Wayland plugin.
desktops_packages=(xfwm4 weston mutter kwin-wayland qt6-wayland)
bench_packages=(libbenchmark-dev)
fuzz_packages=(clang libclang-rt-14-dev)
# The Windows edition: the cross compiler, GoogleTest's sources, Wine to run the tests, and
# the desktop of the cases under Wine (xwd takes their screenshots); wixl builds the
# installer and msitools reads it back.
win32_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine64 xvfb openbox
    trayer xdotool x11-apps python3 python3-xlib wixl msitools)
package_packages=(dpkg-dev desktop-file-utils file lintian)
format_packages=(clang-format)
test_locale=es_ES.UTF-8

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

install() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
        --no-install-recommends "${missing[@]}"
}

# The locale the decimal-separator tests run in (package locales).
generate_locale() {
    locale -a 2>/dev/null | grep -qix "${test_locale/UTF-8/utf8}" && return 0
    echo "Generating the locale $test_locale"
    grep -qx "$test_locale UTF-8" /etc/locale.gen 2>/dev/null ||
        echo "$test_locale UTF-8" | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
    "${as_root[@]}" locale-gen >/dev/null
}

install_sets() {
    local set packages=()
    for set in "$@"; do
        case "$set" in
        run) packages+=("${run_packages[@]}") ;;
        test) packages+=("${test_packages[@]}") ;;
        desktops) packages+=("${desktops_packages[@]}") ;;
        bench) packages+=("${bench_packages[@]}") ;;
        fuzz) packages+=("${fuzz_packages[@]}") ;;
        win32) packages+=("${win32_packages[@]}") ;;
        package) packages+=("${package_packages[@]}") ;;
        format) packages+=("${format_packages[@]}") ;;
        *)
            echo "unknown package set: $set" >&2
            exit 2
            ;;
        esac
    done
    install "${packages[@]}"
    case " $* " in *" test "*) generate_locale ;; esac
}

build_jobs="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"

configure() {
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCORVOLT_WERROR="${CORVOLT_WERROR:-OFF}" "$@"
}

case "${1:-}" in
run)
    install_sets run
    configure -DCORVOLT_TESTS=OFF
    cmake --build "$build" -j "$build_jobs" --target corvolt
    exec "$build/corvolt"
    ;;
test)
    install_sets run test desktops
    configure -DCORVOLT_TESTS=ON
    cmake --build "$build" -j "$build_jobs"
    cd "$build"
    status=0
    ctest --output-on-failure --output-junit ctest-results.xml --test-output-size-passed 1000000 ||
        status=$?
    /usr/bin/python3 "$root/tools/skipped_tests.py" ctest-results.xml
    exit $status
    ;;
e2e)
    install_sets run test desktops
    configure
    cmake --build "$build" -j "$build_jobs" --target corvolt
    mkdir -p "$build/screenshots"
    exec "${as_root[@]}" env CORVOLT_SCREENSHOT_DIR="$build/screenshots" \
        /usr/bin/python3 "$root/tests/e2e/run_e2e.py" --binary "$build/corvolt" all
    ;;
try)
    shift
    install_sets run
    configure
    cmake --build "$build" -j "$build_jobs" --target corvolt
    # sudo keeps little of the environment: the desktop session's variables that are set
    # are handed on.
    session_env=()
    for name in DISPLAY WAYLAND_DISPLAY XAUTHORITY DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR \
        XDG_CURRENT_DESKTOP XDG_SESSION_TYPE LANG LANGUAGE LC_ALL; do
        [ -z "${!name:-}" ] || session_env+=("$name=${!name}")
    done
    exec "${as_root[@]}" env "${session_env[@]}" "$root/tools/try.sh" "$build/corvolt" "$@"
    ;;
win32)
    install_sets win32
    win_build="${CORVOLT_WIN32_BUILD_DIR:-$root/build-win}"
    cmake -S "$root" -B "$win_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCORVOLT_WERROR="${CORVOLT_WERROR:-OFF}"
    cmake --build "$win_build" -j "$build_jobs"
    cd "$win_build"
    ctest --output-on-failure
    ;;
deps)
    shift
    [ $# -gt 0 ] || set -- run test desktops
    install_sets "$@"
    ;;
*)
    sed -n '2,12p' "$0"
    exit 2
    ;;
esac
