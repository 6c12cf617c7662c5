#!/usr/bin/env bash
# The Debian package and the files it installs name the same version, maintainer and homepage:
# the changelog's first entry against the package's version and maintainer, the AppStream
# homepage and screenshot against the package's Homepage (both absent while there is none).
# Usage: check_package_fields.sh CPACK_CONFIG CHANGELOG METAINFO
set -uo pipefail
config=$1 changelog=$2 metainfo=$3
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
# The value CPack's configuration sets for a variable, without its quotes; empty when unset.
cpack() { sed -n "s/^set($1 \"\(.*\)\")\$/\1/p" "$config" | tail -n 1; }
tag() { sed -n "s|.*<$1[^>]*>\(.*\)</$1>.*|\1|p" "$metainfo"; }

version=$(cpack CPACK_PACKAGE_VERSION)
maintainer=$(cpack CPACK_PACKAGE_CONTACT)
homepage=$(cpack CPACK_DEBIAN_PACKAGE_HOMEPAGE)
[ -n "$version" ] && [ -n "$maintainer" ] || fail "no version or maintainer in $config"

first=$(head -n 1 "$changelog")
[ "$first" = "segmora ($version) bookworm; urgency=medium" ] ||
    fail "the changelog begins with '$first', not version $version"
trailer=$(grep -m 1 '^ -- ' "$changelog")
[[ $trailer =~ ^\ --\ (.*)\ \ [A-Z][a-z][a-z],\ [0-9]{2}\ [A-Z][a-z][a-z]\ [0-9]{4}\ [0-9:]{8}\ \+0000$ ]] ||
    fail "the changelog's trailer is malformed: '$trailer'"
[ "${BASH_REMATCH[1]:-}" = "$maintainer" ] ||
    fail "the changelog is signed by '${BASH_REMATCH[1]:-}', the package by '$maintainer'"
[[ $maintainer =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "malformed maintainer: '$maintainer'"

url=$(tag url)
[ "$url" = "$homepage" ] ||
    fail "the AppStream homepage is '$url', the package's Homepage '$homepage'"
image=$(tag image)
if [ -n "$homepage" ]; then
    [ "$image" = "${homepage}docs/screenshot.png" ] || fail "screenshot at '$image'"
else
    [ -z "$image" ] || fail "a screenshot at '$image' without a homepage"
fi
exit $failed
