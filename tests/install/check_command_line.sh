#!/usr/bin/env bash
# The options that only print need no display, and each program says where to find its options.
# Usage: check_command_line.sh PROGRAM_DIR
set -uo pipefail
program=$1
# Without a display the xcb platform cannot start: any attempt to open a window fails here.
unset DISPLAY WAYLAND_DISPLAY SEGMORA_PROGRAM_FOLDER
export QT_QPA_PLATFORM=xcb
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

version=$(sed -n 's/^Version=//p' "$program/Preferences.ini" | head -n 1 | tr -d '\r')
out=$("$program/segmora" --version 2>&1) || fail "segmora --version: exit status $?"
[ "$out" = "Segmora $version" ] || fail "segmora --version printed: $out"

help=$("$program/segmora" --help 2>&1) || fail "segmora --help: exit status $?"
[[ $help == "Usage: segmora "* ]] || fail "segmora --help printed: $help"
short=$("$program/segmora" -h 2>&1) || fail "segmora -h: exit status $?"
[ "$short" = "$help" ] || fail "segmora -h differs from --help: $short"

err=$("$program/segmora" --bogus 2>&1 >/dev/null)
status=$?
[ $status -eq 2 ] || fail "segmora --bogus: exit status $status"
[[ $err == *"Unknown option: --bogus"* ]] || fail "segmora --bogus said: $err"

err=$("$program/vorkast" 2>&1 >/dev/null)
status=$?
[ $status -ne 0 ] || fail "vorkast without arguments succeeded"
[[ $err == *"vorkast --help"* ]] || fail "vorkast without arguments said: $err"
"$program/vorkast" --help | grep -q '^usage: vorkast' || fail "vorkast --help printed no usage"
exit $failed
