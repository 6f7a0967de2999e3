#!/usr/bin/env bash
# Static analysis of the tool's code: clang-tidy (checks in .clang-tidy) over every file of the
# native build's compile_commands.json below app/ transfer/ printers/ device/ platform/
# standins/, and cppcheck over the same folders (Windows-only sources included). Prints every
# finding and fails when there is one.
#   tests/lint/run.sh [BUILD_DIR]      (default build/lint, configured here when missing)
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD="${1:-$ROOT/build/lint}"
DIRS=(app transfer printers device platform standins)
TIDY="${CLANG_TIDY:-clang-tidy-14}"
cd "$ROOT"

if [[ ! -f "$BUILD/compile_commands.json" ]]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
fi
# The generated resource source must exist for the catalogue's files to be analysed.
cmake --build "$BUILD" --target ulma_res_catalog -j2 >/dev/null 2>&1 || true

pattern="$(IFS='|'; echo "${DIRS[*]}")"
mapfile -t files < <(python3 - "$BUILD/compile_commands.json" "$ROOT" "$pattern" <<'PY'
import json, re, sys
db, root, pat = sys.argv[1], sys.argv[2], sys.argv[3]
seen = set()
for e in json.load(open(db)):
    f = e["file"]
    if f.startswith(root + "/") and re.match(r"(%s)/" % pat, f[len(root) + 1:]) and f not in seen:
        seen.add(f)
        print(f)
PY
)

findings=0
tidy_log="$BUILD/clang-tidy.log"
: >"$tidy_log"
printf '=== clang-tidy over %d files\n' "${#files[@]}"
printf '%s\0' "${files[@]}" |
    xargs -0 -n 4 -P 2 "$TIDY" -p "$BUILD" --quiet 2>/dev/null |
    grep -E '^/.*: (warning|error):' | sed "s#^$ROOT/##" >>"$tidy_log" || true
sort -u "$tidy_log" -o "$tidy_log"
n=$(wc -l <"$tidy_log")
cat "$tidy_log"
printf '=== clang-tidy: %d finding(s)\n' "$n"
findings=$((findings + n))

cpp_log="$BUILD/cppcheck.log"
printf '=== cppcheck\n'
cppcheck --quiet --std=c++17 --language=c++ --enable=warning,performance,portability \
    --library=googletest \
    --inline-suppr --suppress=missingIncludeSystem --suppress=unmatchedSuppression \
    --template='{file}:{line}: {severity}: {message} [{id}]' -I "$ROOT" -j2 \
    "${DIRS[@]}" 2>&1 >/dev/null | sed "s#^$ROOT/##" >"$cpp_log"
n=$(grep -c ': ' "$cpp_log" || true)
cat "$cpp_log"
printf '=== cppcheck: %d finding(s)\n' "$n"
findings=$((findings + n))

if [[ $findings -ne 0 ]]; then
    printf '=== lint: %d finding(s)\n' "$findings"
    exit 1
fi
printf '=== lint: clean\n'
