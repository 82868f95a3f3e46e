#!/usr/bin/env bash
# Set-up, build, start and test of Corvolt on Debian 12.
#   tools/dev.sh run     install what the monitor needs, build it and start it
#   tools/dev.sh test    install what the tests need, build them and run them all
#   tools/dev.sh deps    only install the packages (both sets)
# Packages are installed with apt-get (as root, or through sudo).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="${CORVOLT_BUILD_DIR:-$root/build}"

run_packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
    qt6-qpa-plugins fonts-dejavu-core)
test_packages=(googletest libgtest-dev libbenchmark-dev xvfb xauth trayer x11-utils xdotool
    imagemagick dbus at-spi2-core gir1.2-atspi-2.0 python3 python3-dbus python3-gi
    python3-xlib util-linux mount polkitd g++-mingw-w64-x86-64-posix dpkg-dev
    desktop-file-utils file clang libclang-rt-14-dev)

install() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends "${missing[@]}"
}

configure() {
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
}

case "${1:-}" in
run)
    install "${run_packages[@]}"
    configure -DCORVOLT_TESTS=OFF
    cmake --build "$build" --target corvolt
    exec "$build/corvolt"
    ;;
test)
    install "${run_packages[@]}" "${test_packages[@]}"
    configure -DCORVOLT_TESTS=ON
    cmake --build "$build"
    cd "$build"
    ctest --output-on-failure
    ;;
deps)
    install "${run_packages[@]}" "${test_packages[@]}"
    ;;
*)
    sed -n '2,6p' "$0"
    exit 2
    ;;
esac
