#!/usr/bin/env bash
# Formats every C++ source of the project with clang-format 14 (Debian 12) and .clang-format.
#   scripts/format.sh           rewrite the files in place
#   scripts/format.sh --check   change nothing; name the files that differ and exit 1 if any do
# Other clang-format versions lay out some constructs differently, so only 14 is accepted.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

check=0
case "${1:-}" in
"") ;;
--check) check=1 ;;
*)
    echo "usage: $0 [--check]" >&2
    exit 2
    ;;
esac

tool=""
for candidate in clang-format-14 clang-format; do
    if command -v "$candidate" >/dev/null; then
        tool=$candidate
        break
    fi
done
if [ -z "$tool" ]; then
    echo "format.sh: clang-format 14 is needed (Debian 12: apt-get install clang-format-14)" >&2
    exit 2
fi
version=$("$tool" --version)
if ! [[ $version =~ clang-format\ version\ 14\. ]]; then
    echo "format.sh: clang-format 14.x is needed, found: $version" >&2
    echo "format.sh: on Debian 12: apt-get install clang-format-14" >&2
    exit 2
fi

cd "$root"
mapfile -d '' files < <(find src converter tests bench -type f \( -name '*.cpp' -o -name '*.h' \) \
    -print0 2>/dev/null | sort -z)
if [ ${#files[@]} -eq 0 ]; then
    echo "format.sh: no sources found under $root" >&2
    exit 2
fi

if [ $check -eq 0 ]; then
    "$tool" -i --style=file "${files[@]}"
    exit 0
fi

# One run over all files: each difference is reported as "FILE:LINE:COLUMN: error: ...".
status=0
report=$("$tool" --style=file --dry-run "${files[@]}" 2>&1 >/dev/null) || status=$?
if [ $status -ne 0 ]; then
    echo "format.sh: $tool failed:" >&2
    echo "$report" >&2
    exit 2
fi
mapfile -t drifting < <(grep -oE '^[^:]+:[0-9]+:[0-9]+: (error|warning)' <<<"$report" |
    cut -d: -f1 | sort -u)
if [ ${#drifting[@]} -gt 0 ]; then
    echo "These files differ from .clang-format (run scripts/format.sh):" >&2
    printf '  %s\n' "${drifting[@]}" >&2
    exit 1
fi
echo "format.sh: ${#files[@]} files formatted as .clang-format says"
