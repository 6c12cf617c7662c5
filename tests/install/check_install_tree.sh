#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under /usr and compares every path it holds with
# the expected tree; the shipped profiles are taken from the source folder they come from.
# Usage: check_install_tree.sh BUILD_DIR EXPECTED_TREE PROFILES_DIR
set -euo pipefail
build=$1 expected=$2 profiles=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
{
    grep -v '^#' "$expected"
    for profile in "$profiles"/*.apf; do
        echo "usr/share/segmora/Profiles/$(basename "$profile")"
    done
} | LC_ALL=C sort >"$work/expected"
(cd "$work/root" && find . -mindepth 1 -printf '%P\n') | LC_ALL=C sort >"$work/actual"
if ! diff -u "$work/expected" "$work/actual"; then
    echo "The installed tree differs from the expected one ('-' missing, '+' unexpected)." >&2
    exit 1
fi
# The programs must be runnable and the data files readable by everyone.
for program in usr/bin/segmora usr/bin/vorkast; do
    [ "$(stat -c %a "$work/root/$program")" = 755 ] || { echo "$program is not 755" >&2; exit 1; }
done
if find "$work/root" -type f ! -path '*/bin/*' ! -perm 644 | grep .; then
    echo "These data files are not 644." >&2
    exit 1
fi
