#!/usr/bin/env bash
# Builds the i686 ready folder once more from a copy of the tracked sources in another folder and
# checks that every file of it is byte for byte the one in dist/win32/: a delivered program can
# then be checked against a build of its commit. Run after `cmake --workflow --preset win32`.
#   tests/build/reproducible.sh
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
COPY="$ROOT/build/reproducible/src"
cd "$ROOT"
[[ -f dist/win32/ulmaupdate.exe ]] || {
    echo "ERROR: dist/win32/ulmaupdate.exe missing; build the win32 preset first" >&2
    exit 1
}
rm -rf "$COPY"
mkdir -p "$COPY"
# The working tree's tracked files, so uncommitted changes are in both builds; in sources
# unpacked from an archive, without git, every file but the build and ready folders.
if [[ -e .git ]]; then
    git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$COPY"
else
    tar --exclude=./build --exclude=./dist -cf - . | tar -xf - -C "$COPY"
fi
(cd "$COPY" && cmake --workflow --preset win32 >"$ROOT/build/reproducible/build.log" 2>&1) || {
    tail -n 30 "$ROOT/build/reproducible/build.log" >&2
    echo "ERROR: the second build failed (log: build/reproducible/build.log)" >&2
    exit 1
}
checks=0
failed=0
for f in dist/win32/*; do
    checks=$((checks + 1))
    if ! cmp -s "$f" "$COPY/$f"; then
        failed=$((failed + 1))
        echo "FAIL: $f differs from the build in $COPY ($(cmp -l "$f" "$COPY/$f" 2>/dev/null | wc -l) bytes)"
    fi
done
[[ $failed != 0 ]] || rm -rf "$ROOT/build/reproducible"
echo "reproducible: $checks checks, $failed failed"
[[ $failed == 0 ]]
