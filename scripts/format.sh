#!/usr/bin/env bash
# Formats the C++ sources git knows with the tree's .clang-format, or with --check lists the files
# that differ from it and fails. One clang-format version for everyone (Debian 12's), since
# versions format differently.
set -euo pipefail
cd "$(dirname "$0")/.."
tool=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$tool" ]; then
    echo "format: clang-format-14 is not installed (scripts/install-deps.sh installs it)" >&2
    exit 2
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
    bad=()
    for f in "${files[@]}"; do
        "$tool" --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
    done
    if [ ${#bad[@]} -gt 0 ]; then
        echo "format: ${#bad[@]} file(s) differ from .clang-format (run scripts/format.sh):" >&2
        printf '  %s\n' "${bad[@]}" >&2
        exit 1
    fi
    echo "format: ${#files[@]} files match .clang-format"
else
    "$tool" -i "${files[@]}"
fi
