#!/usr/bin/env bash
# Static analysis of the tool's code and of the programs that build, test, fuzz and measure it:
# clang-tidy (checks in .clang-tidy) over every file of the native build's compile_commands.json
# below app/ transfer/ printers/ device/ platform/ standins/ res/ tools/ bench/ tests/, then over
# the Windows-only files below them through an i686 build's and over the fuzz targets below
# fuzz/ through a clang fuzz build's, and cppcheck over all these folders.
# Prints every finding and fails when there is one.
#   tests/lint/run.sh [BUILD_DIR]      (default build/lint, configured here when missing)
# Environment: ULMA_LINT_WIN_BUILD, the i686 build folder (default build/lint-win32);
# ULMA_LINT_FUZZ_BUILD, the fuzz build folder (default build/lint-fuzz).
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD="${1:-$ROOT/build/lint}"
WIN_BUILD="${ULMA_LINT_WIN_BUILD:-$ROOT/build/lint-win32}"
FUZZ_BUILD="${ULMA_LINT_FUZZ_BUILD:-$ROOT/build/lint-fuzz}"
DIRS=(app transfer printers device platform standins res tools bench tests)
TIDY="${CLANG_TIDY:-clang-tidy-14}"
cd "$ROOT" || exit 1

# A missing tool would otherwise analyse nothing and report no finding.
for tool in "$TIDY" cppcheck python3 clang++-14; do
    command -v "$tool" >/dev/null || {
        printf 'ERROR: %s not found (Debian packages clang-tidy-14, cppcheck, python3, clang-14)\n' "$tool" >&2
        exit 1
    }
done

if [[ ! -f "$BUILD/compile_commands.json" ]]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
fi
# The generated resource source must exist for the catalogue's files to be analysed.
cmake --build "$BUILD" --target ulma_res_catalog -j2 >/dev/null 2>&1 || true

pattern="$(IFS='|'; echo "${DIRS[*]}")"
# list_files DB [EXCLUDED_DB]: the files of DB's compile_commands.json below the tool's folders
# that EXCLUDED_DB does not list, NUL-separated.
list_files() {
    python3 - "$1/compile_commands.json" "${2:+$2/compile_commands.json}" "$ROOT" "$pattern" <<'PY'
import json, re, sys
db, excluded, root, pat = sys.argv[1:5]
skip = {e["file"] for e in json.load(open(excluded))} if excluded else set()
seen = set()
for e in json.load(open(db)):
    f = e["file"]
    if f.startswith(root + "/") and re.match(r"(%s)/" % pat, f[len(root) + 1:]) \
            and f not in seen and f not in skip:
        seen.add(f)
        print(f, end="\0")
PY
}

findings=0

# tidy NAME DB FILE... [-- EXTRA_ARG...]: runs clang-tidy over the files with DB's compile
# commands, prints the findings and adds their number to findings.
tidy() {
    local name="$1" db="$2" status=0 n log err
    shift 2
    local -a files=() extra=()
    while [[ $# -gt 0 && $1 != -- ]]; do files+=("$1"); shift; done
    [[ $# -gt 0 ]] && shift
    for a in "$@"; do extra+=("--extra-arg=$a"); done
    if [[ ${#files[@]} -eq 0 ]]; then
        printf 'ERROR: %s/compile_commands.json lists no file below %s/{%s}: nothing to analyse\n' \
            "$db" "$ROOT" "${pattern//|/,}" >&2
        findings=$((findings + 1))
        return
    fi
    log="$db/clang-tidy.log"
    err="$db/clang-tidy.stderr"
    printf '=== clang-tidy over %d files (%s)\n' "${#files[@]}" "$name"
    # clang-tidy exits non-zero only for errors (a file it could not parse, a crash); xargs passes
    # that on. An error without a finding line is a tool failure and fails the run too.
    printf '%s\0' "${files[@]}" |
        xargs -0 -n 4 -P 2 "$TIDY" -p "$db" --quiet "${extra[@]}" >"$log.raw" 2>"$err" || status=$?
    { grep -E '^/.*: (warning|error):' "$log.raw" || true; } | sed "s#^$ROOT/##" | sort -u >"$log"
    n=$(wc -l <"$log")
    cat "$log"
    printf '=== clang-tidy (%s): %d finding(s)\n' "$name" "$n"
    if [[ $status -ne 0 && $n -eq 0 ]]; then
        grep -v 'warnings\? generated\.$' "$err" | tail -n 20 >&2
        printf 'ERROR: clang-tidy failed (status %d) without a finding; its messages: %s\n' \
            "$status" "$err" >&2
        n=1
    fi
    findings=$((findings + n))
}

mapfile -d '' -t files < <(list_files "$BUILD")
tidy native "$BUILD" "${files[@]}"

# The Windows-only sources (the Windows layer and its tests, the stand-in libraries, the test
# tools) are not in the native build: they are analysed through an i686 build's compile
# commands, with clang aimed at the mingw-w64 target and its C++ library. The build is only
# configured, every time, so that its list of sources is never stale.
MINGW_CXX=i686-w64-mingw32-g++-posix
if ! command -v "$MINGW_CXX" >/dev/null; then
    printf 'ERROR: %s not found (Debian package g++-mingw-w64-i686-posix)\n' "$MINGW_CXX" >&2
    exit 1
fi
if ! cmake -S "$ROOT" -B "$WIN_BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Debug -DULMA_WIN32_TESTS=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null; then
    printf 'ERROR: the i686 build in %s could not be configured\n' "$WIN_BUILD" >&2
    exit 1
fi
mapfile -t cxx_dirs < <(echo | "$MINGW_CXX" -E -x c++ - -v 2>&1 |
    sed -n '/^#include <...> search starts here:/,/^End of search list\./p' | grep '/c++' |
    sed 's/^ *//')
win_args=(--target=i686-w64-mingw32 -nostdinc++)
for d in "${cxx_dirs[@]}"; do win_args+=("-isystem$d"); done
mapfile -d '' -t files < <(list_files "$WIN_BUILD" "$BUILD")
tidy "Windows only, i686" "$WIN_BUILD" "${files[@]}" -- "${win_args[@]}"

# The fuzz targets are built apart, with clang: their files are analysed through a fuzz build's
# compile commands, configured (not built) every time like the i686 build.
if ! cmake -S "$ROOT/fuzz" -B "$FUZZ_BUILD" -DCMAKE_CXX_COMPILER=clang++-14 \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null; then
    printf 'ERROR: the fuzz build in %s could not be configured\n' "$FUZZ_BUILD" >&2
    exit 1
fi
pattern=fuzz
mapfile -d '' -t files < <(list_files "$FUZZ_BUILD")
tidy "fuzz targets" "$FUZZ_BUILD" "${files[@]}"

cpp_log="$BUILD/cppcheck.log"
printf '=== cppcheck\n'
# cppcheck exits non-zero only when it could not run (findings leave it at 0).
cpp_status=0
cppcheck --quiet --std=c++17 --language=c++ --enable=warning,performance,portability \
    --library=googletest \
    --inline-suppr --suppress=missingIncludeSystem --suppress=unmatchedSuppression \
    --template='{file}:{line}: {severity}: {message} [{id}]' -I "$ROOT" -j2 \
    "${DIRS[@]}" fuzz 2>"$cpp_log.raw" >/dev/null || cpp_status=$?
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
