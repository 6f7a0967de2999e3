#!/usr/bin/env bash
# Checks that every C++ source of the repository is formatted as the project's .clang-format
# says; prints each place that differs and fails when there is one.
#   tests/lint/format.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
FORMAT="${CLANG_FORMAT:-clang-format}"
command -v "$FORMAT" >/dev/null || {
    echo "ERROR: $FORMAT not found" >&2
    exit 1
}
# The tracked sources; in sources unpacked from an archive, without git, every source outside
# the build and ready folders.
if [[ -e .git ]]; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find . \( -path ./build -o -path ./dist \) -prune -o \
        -type f \( -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||' | sort)
fi
if [[ ${#files[@]} == 0 ]]; then
    echo "ERROR: no C++ sources found" >&2
    exit 1
fi
if ! "$FORMAT" --dry-run --Werror "${files[@]}"; then
    echo "=== format: not as .clang-format says (fix: clang-format -i FILE)" >&2
    exit 1
fi
printf '=== format: %d files as .clang-format says\n' "${#files[@]}"
