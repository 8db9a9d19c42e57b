#!/bin/sh
# Installs the Debian packages the build and the tests need; does nothing when
# all of them are present.
set -eu

# The last two lines serve the package checks: dpkg-shlibdeps for the
# package's dependencies, the menu entry and AppStream validators, man for
# the manual page's warnings, and the MinGW-w64 cross compiler for the
# Windows layer (about 40 MB, some 35 s to install).
PACKAGES="g++ cmake ninja-build make pkg-config
libsdl2-dev libphysfs-dev libstb-dev
libzip-dev libvorbis-dev libpng-dev
libgtest-dev libbenchmark-dev
clang libclang-rt-14-dev
libegl-mesa0 libgl1-mesa-dri
dpkg-dev desktop-file-utils appstream man-db
g++-mingw-w64-x86-64-win32"

missing=""
for package in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $package"
    fi
done

[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
else
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# shellcheck disable=SC2086
$SUDO apt-get install -y -q --no-install-recommends $missing
