#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under /usr, starts the installed program once
# with a fresh home (offscreen), and checks that it seeded the user's preferences from the
# shipped ones, saved them there when its window closed, and wrote nothing under the
# installation.
# Usage: check_first_start.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root home=$work/home
mkdir -p "$home" "$work/runtime"
chmod 700 "$work/runtime"

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
listing() { (cd "$root" && find . -printf '%P %s %T@ %m\n' | LC_ALL=C sort); }
listing >"$work/before"

unset SEGMORA_PROGRAM_FOLDER
HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
    XDG_CACHE_HOME=$home/.cache XDG_RUNTIME_DIR=$work/runtime \
    QT_QPA_PLATFORM=offscreen SEGMORA_AUDIO_OUTPUT=null \
    "$root/usr/bin/segmora" --screenshot "$work/window.png"

fail() { echo "$*" >&2; exit 1; }
[ -s "$work/window.png" ] || fail "the installed program showed no window"
# Seeded, then saved on closing with the same values: the same as the shipped file, apart from
# the profile's display name that saving writes beside its list position and the window's size
# and place in a section of their own.
settings() {
    awk '/^\[/ { window = ($0 == "[Window]") }
         window { blank = 0; next }
         /^$/ { ++blank; next }
         !/^Profile Name=/ { for (; blank; --blank) print ""; print }' "$1"
}
cmp <(settings "$root/usr/share/segmora/Preferences.ini") \
    <(settings "$home/.config/segmora/Preferences.ini") ||
    fail "the user's preferences were not seeded from the shipped ones"
[ -d "$home/.local/share/segmora/Profiles" ] || fail "the user's profiles folder is missing"
listing >"$work/after"
diff -u "$work/before" "$work/after" || fail "the program wrote into the installation"
