#!/usr/bin/env bash
# Tries the Debian package as a new user would, on a fresh Debian 12 made with debootstrap:
# installs it with apt-get, checks the menu entry and icon, the command-line programs, opens a
# video in the window under Xvfb (saving a picture of the screen), then removes and purges the
# package and checks that nothing of it is left outside the user's home.
#
# Run by hand as root (it uses debootstrap, chroot and mount); it needs the network for the
# Debian mirror, ffmpeg and ffprobe on this machine (scripts/deps.sh installs them), and about
# 1 GB in the folder. Each step prints PASS or FAIL; the exit status is 0 when every step passed.
#
# Usage: try-package.sh [--deb FILE] [--root DIR] [--no-recommends] [--keep]
#   --deb FILE       the package (default: the newest build-package/segmora_*_amd64.deb)
#   --root DIR       the fresh system's folder (default: /var/tmp/segmora-try); an existing one
#                    made by an earlier run is used again once it is shown to hold no build
#                    packages and no Segmora
#   --no-recommends  install only the package's Depends, not its Recommends
#   --keep           keep the folder afterwards (it is removed otherwise)
# The logs and a picture of the screen with the window go to DIR-results.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
deb="" root=/var/tmp/segmora-try recommends=() keep=0
while [ $# -gt 0 ]; do
    case $1 in
    --deb) deb=$2; shift 2 ;;
    --root) root=$2; shift 2 ;;
    --no-recommends) recommends=(--no-install-recommends); shift ;;
    --keep) keep=1; shift ;;
    -h | --help) sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "try-package.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
    esac
done
[ "$(id -u)" -eq 0 ] || { echo "try-package.sh: run it as root (sudo)" >&2; exit 2; }
if [ -z "$deb" ]; then
    deb=$(ls -t "$here"/build-package/segmora_*_amd64.deb 2>/dev/null | head -n 1)
    [ -n "$deb" ] || { echo "try-package.sh: no package; run scripts/package.sh first" >&2; exit 2; }
fi
deb=$(realpath "$deb")
root=$(realpath -m "$root")
for tool in debootstrap ffmpeg ffprobe; do
    command -v "$tool" >/dev/null ||
        { echo "try-package.sh: $tool is missing (apt-get install $tool)" >&2; exit 2; }
done

failures=0
step() { printf '\n== %s\n' "$*"; }
pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"; }
user=tester
as_user() { chroot "$root" runuser -u "$user" -- env -i HOME=/home/$user USER=$user \
    PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 XDG_RUNTIME_DIR=/run/user/1000 "$@"; }
home=$root/home/$user
# The logs, the file lists and the picture of the screen stay here after the run.
results=${root%/}-results
mkdir -p "$results" || exit 2

mounted=()
unmount_all() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -R "${mounted[i]}" 2>/dev/null; done
    mounted=()
}
finish() {
    unmount_all
    if [ $keep -eq 0 ] && [ -d "$root" ] && ! findmnt -R "$root" >/dev/null; then
        rm -rf --one-file-system "$root"
    fi
}
trap finish EXIT
mount_in() { # mount_in TARGET mount-arguments...
    local target=$root/$1
    shift
    mount "$@" "$target" && mounted+=("$target")
}

# Every path of the system outside the folders that change on their own or belong to users.
listing() {
    (cd "$root" && find . -xdev \( -path ./home -o -path ./root -o -path ./tmp -o -path ./run \
        -o -path ./var/log -o -path ./var/cache/apt -o -path ./var/lib/apt/lists \
        -o -path ./var/cache/debconf \) -prune -o -printf '/%P\n') | LC_ALL=C sort
}

step "The package: $deb"
dpkg-deb -f "$deb" Package Version Depends Recommends | sed 's/^/  /'

step "A fresh Debian 12 (minbase) in $root"
if [ -e "$root/etc/debian_version" ]; then
    echo "using the system made by an earlier run"
elif ! debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$results/debootstrap.log" 2>&1; then
    tail -n 20 "$results/debootstrap.log"
    fail "debootstrap (its log: $results/debootstrap.log)"
    exit 1
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount_in proc -t proc proc && mount_in sys -t sysfs sys &&
    mount_in dev --rbind /dev && mount --make-rslave "$root/dev" ||
    { fail "mounting /proc, /sys and /dev in $root"; exit 1; }
build_packages="g++ cmake pkg-config qt6-base-dev libmpv-dev libavformat-dev libavcodec-dev
    libavfilter-dev ffmpeg segmora"
present=$(in_root dpkg-query -W -f '${Package} ${Status}\n' $build_packages 2>/dev/null |
    awk '/ installed$/ {print $1}')
[ -z "$present" ] && pass "none of the build packages and no Segmora installed" ||
    { fail "not fresh, installed: $present"; exit 1; }

step "Tools for the check (Xvfb) and a normal user"
in_root apt-get update -qq && in_root apt-get install -y -qq --no-install-recommends xvfb xauth \
    >/dev/null && pass "xvfb installed" || { fail "installing xvfb"; exit 1; }
# A new user each run, so that nothing in the home is left from an earlier one.
in_root id -u $user >/dev/null 2>&1 && in_root userdel -r $user >/dev/null 2>&1
in_root useradd -m -u 1000 -s /bin/bash $user
in_root install -d -o $user -g $user -m 700 /run/user/1000
ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=640x360:rate=25:duration=10 \
    -f lavfi -i sine=frequency=440:duration=10 -c:v libx264 -g 25 -pix_fmt yuv420p -c:a aac \
    -shortest "$home/holiday.mp4" && in_root chown $user: /home/$user/holiday.mp4 &&
    pass "user $user with a 10 s video ~/holiday.mp4" || fail "making the sample video"

listing >"$results/before"
packages() { in_root dpkg-query -W -f '${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" {print $2}'; }
packages >"$results/packages.before"
step "apt-get install ./$(basename "$deb") ${recommends[*]}"
cp "$deb" "$root/tmp/" && chmod 644 "$root/tmp/$(basename "$deb")"
if in_root apt-get install -y -q "${recommends[@]}" "/tmp/$(basename "$deb")" >"$results/install.log" 2>&1; then
    pass "installed, with $(grep -c '^Setting up' "$results/install.log") packages set up"
else
    tail -n 20 "$results/install.log"
    fail "apt-get install (its log: $results/install.log)"
    exit 1
fi
in_root dpkg -L segmora >"$results/files"

step "The menu entry and its icon"
entry=/usr/share/applications/org.segmora.Segmora.desktop
if [ -f "$root$entry" ]; then
    pass "desktop entry $entry"
    icon=$(sed -n 's/^Icon=//p' "$root$entry")
    program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$root$entry")
    [ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] &&
        pass "icon $icon in the hicolor theme" || fail "no icon $icon.svg in the hicolor theme"
    [ "$(as_user sh -c "command -v $program")" = /usr/bin/$program ] &&
        pass "Exec=$program is on the user's PATH" || fail "Exec=$program is not on the PATH"
    grep -q '^MimeType=.*video/mp4' "$root$entry" && pass "offered for video/mp4 (Open with)" ||
        fail "no video/mp4 in MimeType"
else
    fail "no desktop entry $entry"
fi

step "The programs without a display"
out=$(as_user segmora --version 2>&1) && [[ $out == "Segmora "* ]] &&
    pass "segmora --version: $out" || fail "segmora --version: $out"
out=$(as_user segmora --help 2>&1) && [[ $out == "Usage: segmora "* ]] &&
    pass "segmora --help: $(head -n 1 <<<"$out")" || fail "segmora --help: $out"
out=$(as_user vorkast 2>&1 </dev/null)
status=$?
[ $status -ne 0 ] && [[ $out == *"vorkast --help"* ]] &&
    pass "vorkast without arguments (status $status): $out" || fail "vorkast without arguments: $out"

step "vorkast -i holiday.mp4 -ss 1 -t 2 -c copy clip.mp4"
if out=$(as_user sh -c 'cd && vorkast -i holiday.mp4 -ss 1 -t 2 -c copy clip.mp4' 2>&1); then
    duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$home/clip.mp4")
    awk -v d="$duration" 'BEGIN { exit !(d >= 1.9 && d <= 2.2) }' &&
        pass "clip.mp4 lasts $duration s" || fail "clip.mp4 lasts $duration s, not 2"
else
    fail "vorkast: $out"
fi

step "segmora ~/holiday.mp4 in an X server (Xvfb, 1280x800)"
shot=$results/screen.png
rm -f "$shot"
as_user sh -c 'mkdir -p /tmp/fb && cd && exec xvfb-run -a \
    -s "-screen 0 1280x800x24 -fbdir /tmp/fb" sh -c "
    segmora holiday.mp4 2>segmora.log & pid=\$!
    for i in \$(seq 40); do [ -s .config/segmora/Preferences.ini ] && break; sleep 0.5; done
    sleep 6
    cp /tmp/fb/Xvfb_screen0 screen.xwd
    if kill -0 \$pid 2>/dev/null; then echo running; kill \$pid; fi
    wait \$pid"' >"$results/window.log" 2>&1
grep -q '^running$' "$results/window.log" && pass "the window stayed open" ||
    fail "segmora ended early: $(cat "$results/window.log" "$home/segmora.log" 2>/dev/null)"
if [ -s "$home/segmora.log" ]; then
    echo "  what segmora said on standard error:"
    sed 's/^/    /' "$home/segmora.log"
fi
if ffmpeg -hide_banner -loglevel error -y -f xwd_pipe -i "$home/screen.xwd" -frames:v 1 "$shot"; then
    pass "saved a picture of the screen: $shot"
    echo "  LOOK at it: the window with the video's picture in its preview (no script can judge that)"
else
    fail "no picture of the screen"
fi
[ -s "$home/.config/segmora/Preferences.ini" ] &&
    pass "the user's preferences seeded: ~/.config/segmora/Preferences.ini" ||
    fail "no ~/.config/segmora/Preferences.ini"

step "apt-get remove segmora, then purge"
in_root apt-get remove -y -q segmora >"$results/remove.log" 2>&1 && pass "removed" || fail "apt-get remove"
left=$(while read -r path; do [ -f "$root$path" ] && echo "$path"; done <"$results/files")
[ -z "$left" ] && pass "none of the package's files is left" || fail "left after remove: $left"
[ -s "$home/.config/segmora/Preferences.ini" ] && pass "the user's own preferences are kept" ||
    fail "the user's preferences went with the package"
# A package without configuration files is gone with remove already; dpkg says so and succeeds.
in_root dpkg --purge segmora >>"$results/remove.log" 2>&1 && pass "purged" || fail "dpkg --purge"
in_root apt-get autoremove --purge -y -q >>"$results/remove.log" 2>&1 &&
    pass "the libraries it brought removed again (autoremove)" || fail "apt-get autoremove"
listing >"$results/after"
packages >"$results/packages.after"
# apt keeps a few packages another one recommends (perl, openssl, ...): their files are theirs.
kept=$(comm -13 "$results/packages.before" "$results/packages.after")
for package in $kept; do
    cat "$root/var/lib/dpkg/info/$package.list" "$root/var/lib/dpkg/info/$package:"*.list 2>/dev/null
done | LC_ALL=C sort -u >"$results/kept-files"
comm -13 "$results/before" "$results/after" | comm -23 - "$results/kept-files" |
    grep -v -E "^/var/lib/dpkg/info/($(echo $kept | sed 's/ /|/g; s/[+.]/\\&/g'))[.:]" >"$results/added"
ours=$(grep -i -E 'segmora|vorkast' "$results/added")
[ -z "$ours" ] && pass "nothing of Segmora is left outside the user's home" ||
    fail "left behind: $ours"
[ -n "$kept" ] && echo "  packages apt keeps because others recommend them:" $kept
if grep -q -v -i -E 'segmora|vorkast' "$results/added"; then
    others=$(grep -c -v -i -E 'segmora|vorkast' "$results/added")
    echo "  $others other new paths, made by the scripts of the packages that came and went" \
        "(all in $results/added), such as:"
    grep -v -i -E 'segmora|vorkast' "$results/added" | grep -v '^/etc/ssl/certs/' | head -n 12 |
        sed 's/^/    /'
fi

step "Result"
unmount_all
if [ $failures -eq 0 ]; then
    echo "PASS: every step"
else
    echo "FAIL: $failures step(s)"
fi
[ $keep -eq 1 ] && echo "The fresh system stays in $root (remove it with rm -rf --one-file-system)."
exit $((failures > 0))
