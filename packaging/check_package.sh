#!/bin/sh
# The Debian package as a player gets it: built with CPack, unpacked into a
# scratch root, its files listed and validated, and the unpacked game started
# from another folder with the menu entry's command.
# usage: check_package.sh BUILD_FOLDER APPSTREAM_ID SCRIPT_RUNNER
set -eu
build=$1
id=$2
runner=$3
work="$build/packaging/check"
root="$work/root"
rm -rf "$work"
mkdir -p "$work/deb" "$work/elsewhere" "$work/profile"

fail() {
    echo "check_package: $*" >&2
    exit 1
}

# Build the package and unpack it.
if ! cpack -G DEB -B "$work/deb" --config "$build/CPackConfig.cmake" > "$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack failed"
fi
deb=$(ls "$work"/deb/numbral_*.deb)
dpkg-deb -x "$deb" "$root"
echo "$deb:"
dpkg-deb -f "$deb" Package Version Architecture Section Depends

# Shared libraries are declared, so that installing the package brings them.
for library in libsdl2 libphysfs libstb; do
    dpkg-deb -f "$deb" Depends | grep -q "$library" || fail "Depends lacks $library"
done

# Exactly these files, and every folder and file readable by everyone.
icons=""
for size in 16 32 48 64 128 256; do
    icons="$icons usr/share/icons/hicolor/${size}x$size/apps/numbral.png"
done
expected=$(printf '%s\n' usr/bin/numbral usr/share/numbral/data.quob usr/share/applications/numbral.desktop \
    "usr/share/metainfo/$id.metainfo.xml" usr/share/man/man6/numbral.6.gz usr/share/doc/numbral/copyright \
    usr/share/doc/numbral/changelog.gz usr/share/lintian/overrides/numbral $icons | sort)
found=$(cd "$root" && find . -type f | sed 's|^\./||' | sort)
[ "$found" = "$expected" ] || fail "the package holds:
$found
instead of:
$expected"
echo "$found"
[ -x "$root/usr/bin/numbral" ] || fail "usr/bin/numbral is not executable"
[ -z "$(find "$root" ! -perm -a+r)" ] || fail "files not readable by everyone: $(find "$root" ! -perm -a+r)"

# Each icon is a PNG of its folder's size.
for size in 16 32 48 64 128 256; do
    dimensions=$(od -An -tu4 --endian=big -j16 -N8 "$root/usr/share/icons/hicolor/${size}x$size/apps/numbral.png" |
        tr -s ' ')
    [ "$dimensions" = " $size $size" ] || fail "the ${size}x$size icon measures$dimensions"
done

# The menu entry, the AppStream entry (with the icon and menu entry it
# names) and the manual page pass their validators.
desktop="$root/usr/share/applications/numbral.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate found faults"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate found faults"
appstreamcli validate-tree --no-net "$root/usr" || fail "appstreamcli validate-tree found faults"
warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l -Tutf8 -Z "$root/usr/share/man/man6/numbral.6.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page: $warnings"

# The menu entry's command, started from another folder with the unpacked
# bin/ on the path. The game runs until it is closed; it has got past
# start-up when its sound mixer's thread runs and it is still alive a second
# later, past the check that every sound of the bank is in an archive (a
# missing one ends it at once with status 1). The current folder has no
# archive, so the one it found is the installed one.
command=$(sed -n 's/^Exec=//p' "$desktop")
cd "$work/elsewhere"
env PATH="$root/usr/bin:$PATH" USERPROFILE="$work/profile" SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
    sh -c "exec $command" > "$work/game.log" 2>&1 &
game=$!
cd - > /dev/null
mixer_running() {
    cat /proc/"$game"/task/*/comm 2>/dev/null | grep -qx MixerThread
}
tries=0
until mixer_running; do
    kill -0 "$game" 2>/dev/null || { cat "$work/game.log" >&2; fail "'$command' ended during start-up"; }
    tries=$((tries + 1))
    [ "$tries" -le 300 ] || { kill -9 "$game"; fail "'$command' did not reach its sound start-up in 30 s"; }
    sleep 0.1
done
sleep 1
kill -0 "$game" 2>/dev/null || { cat "$work/game.log" >&2; fail "'$command' ended after starting its sound"; }
kill "$game"
sleep 0.5
kill -9 "$game" 2>/dev/null || true
wait "$game" 2>/dev/null || true
! grep "doesn't exist" "$work/game.log" || fail "files missing from the installed archive"
echo "'$command' from $work/elsewhere: past start-up on the installed archive"

# Without the installed archive the same start fails: the run above did find it.
mv "$root/usr/share/numbral/data.quob" "$work/data.quob.away"
status=0
(cd "$work/elsewhere" && env PATH="$root/usr/bin:$PATH" USERPROFILE="$work/profile" SDL_VIDEODRIVER=offscreen \
    SDL_AUDIODRIVER=dummy timeout -k 2 30 sh -c "exec $command" > "$work/game.log" 2>&1) || status=$?
mv "$work/data.quob.away" "$root/usr/share/numbral/data.quob"
[ "$status" -eq 1 ] && grep -q "doesn't exist" "$work/game.log" ||
    fail "without its archive the game ended with status $status, not 1 for a missing file"

# The installed archive plays: the script runner takes it from the scratch
# root through the opening cutscene into the title level.
printf 'until mode == play 400\nexpect mode == play\nexpect level == 0\nhold right 30\n' > "$work/title.script"
(cd "$work/elsewhere" && "$runner" --archive "$root/usr/share/numbral/data.quob" "$work/title.script") ||
    fail "the script runner did not play the installed archive"
echo "the script runner played the installed archive"
