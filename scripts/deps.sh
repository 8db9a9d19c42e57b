#!/bin/sh
# Installs the Debian packages the build and the tests need; does nothing when
# all of them are present.
set -eu

PACKAGES="g++ cmake ninja-build make pkg-config
libsdl2-dev libphysfs-dev libstb-dev
libzip-dev libvorbis-dev libpng-dev
libgtest-dev libbenchmark-dev
clang libclang-rt-14-dev
libegl-mesa0 libgl1-mesa-dri"

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
