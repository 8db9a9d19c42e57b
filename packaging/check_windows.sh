#!/bin/sh
# The Windows layer compiles with Debian's MinGW-w64 cross compiler: the
# platform file to an object, and every other game source, start-up
# included, checked against the system's SDL2 and PhysFS headers (no SDL2
# for MinGW is packaged, so nothing can be linked).
# usage: check_windows.sh SOURCE_FOLDER WORK_FOLDER
set -eu
source=$1
work=$2
compiler=x86_64-w64-mingw32-g++
command -v "$compiler" >/dev/null || { echo "check_windows: no $compiler; make deps installs it" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work/include"
# Only these headers of the system's include folder: the rest is Linux's.
ln -s /usr/include/physfs.h "$work/include/physfs.h"
flags="-std=c++20 -Wall -Wextra -I$source/src -I$source/packaging/windows -I$work/include -I/usr/include/stb
    -I/usr/include/SDL2 -DNUMBRAL_VERSION=\"check\""

# shellcheck disable=SC2086
$compiler $flags -Werror -c "$source/src/platform/platform_win32.cpp" -o "$work/platform_win32.o"
echo "src/platform/platform_win32.cpp: compiled"
sources=$(cd "$source" && find src -name '*.cpp' ! -path 'src/platform/*' | sort)
# shellcheck disable=SC2086
(cd "$source" && $compiler $flags -fsyntax-only $sources)
echo "$(echo "$sources" | wc -l) other sources, start-up (src/main.cpp, src/app/) included: checked"
