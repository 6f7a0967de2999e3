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
cd "$ROOT" || exit 1

# A missing tool would otherwise analyse nothing and report no finding.
for tool in "$TIDY" cppcheck python3; do
    command -v "$tool" >/dev/null || {
        printf 'ERROR: %s not found (Debian packages clang-tidy-14, cppcheck, python3)\n' "$tool" >&2
        exit 1
    }
done

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

if [[ ${#files[@]} -eq 0 ]]; then
    printf 'ERROR: %s/compile_commands.json lists no file below %s/{%s}: nothing to analyse\n' \
        "$BUILD" "$ROOT" "${DIRS[*]}" >&2
    exit 1
fi

findings=0
tidy_log="$BUILD/clang-tidy.log"
tidy_err="$BUILD/clang-tidy.stderr"
printf '=== clang-tidy over %d files\n' "${#files[@]}"
# clang-tidy exits non-zero only for errors (a file it could not parse, a crash); xargs passes
# that on. An error without a finding line is a tool failure and fails the run too.
tidy_status=0
printf '%s\0' "${files[@]}" |
    xargs -0 -n 4 -P 2 "$TIDY" -p "$BUILD" --quiet >"$tidy_log.raw" 2>"$tidy_err" || tidy_status=$?
{ grep -E '^/.*: (warning|error):' "$tidy_log.raw" || true; } | sed "s#^$ROOT/##" | sort -u >"$tidy_log"
n=$(wc -l <"$tidy_log")
cat "$tidy_log"
printf '=== clang-tidy: %d finding(s)\n' "$n"
if [[ $tidy_status -ne 0 && $n -eq 0 ]]; then
    grep -v 'warnings\? generated\.$' "$tidy_err" | tail -n 20 >&2
    printf 'ERROR: clang-tidy failed (status %d) without a finding; its messages: %s\n' \
        "$tidy_status" "$tidy_err" >&2
    n=1
fi
findings=$((findings + n))

cpp_log="$BUILD/cppcheck.log"
printf '=== cppcheck\n'
# cppcheck exits non-zero only when it could not run (findings leave it at 0).
cpp_status=0
cppcheck --quiet --std=c++17 --language=c++ --enable=warning,performance,portability \
    --library=googletest \
    --inline-suppr --suppress=missingIncludeSystem --suppress=unmatchedSuppression \
    --template='{file}:{line}: {severity}: {message} [{id}]' -I "$ROOT" -j2 \
    "${DIRS[@]}" 2>"$cpp_log.raw" >/dev/null || cpp_status=$?
sed "s#^$ROOT/##" "$cpp_log.raw" >"$cpp_log"
n=$(grep -c ': ' "$cpp_log" || true)
cat "$cpp_log"
printf '=== cppcheck: %d finding(s)\n' "$n"
if [[ $cpp_status -ne 0 && $n -eq 0 ]]; then
    printf 'ERROR: cppcheck failed (status %d) without a finding\n' "$cpp_status" >&2
    n=1
fi
findings=$((findings + n))

if [[ $findings -ne 0 ]]; then
    printf '=== lint: %d finding(s)\n' "$findings"
    exit 1
fi
printf '=== lint: clean\n'
