#!/usr/bin/env bash
# Runs every test of the project on a Debian 12 machine: installs what is missing, builds and
# tests the native configurations (plain, AddressSanitizer, ThreadSanitizer), builds the two
# Windows ready folders, checks their imports, runs the Windows layer tests and the end-to-end
# tests under Wine. Stops at the first failure. Artefacts: build/e2e-artifacts/.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
source scripts/packages.sh
# The Wine prefixes and builds take several GB; a full disk shows up late and obscurely.
printf 'Free disk space: %s\n' "$(df -h --output=avail . | tail -n 1 | tr -d ' ')"
# Builds and test runs use every core (CI has two).
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-$(nproc)}"

passed=0
failed=0
skipped=0
started=$SECONDS

summary() {
    if [[ $skipped -gt 0 ]]; then
        printf '%d passed, %d failed, %d skipped\n' "$passed" "$failed" "$skipped"
    else
        printf '%d passed, %d failed\n' "$passed" "$failed"
    fi
}

# skip NAME REASON: a step this machine cannot run, said as such and counted as one skipped.
skip() {
    printf '\n=== %s: SKIPPED (%s)\n' "$1" "$2"
    skipped=$((skipped + 1))
}

# Counts the tests a step's output reports (CTest totals, GoogleTest summaries, end-to-end check
# counts); a step that reports none counts as one test.
count_tests() {
    local log="$1" ok="$2" n f
    n=$(sed -nE 's/.*tests passed, ([0-9]+) tests failed out of ([0-9]+).*/\2 \1/p' "$log" |
        awk '{t+=$1; f+=$2} END {print t - f + 0}')
    n=$((n + $(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\./\1/p' "$log" | awk '{t+=$1} END {print t+0}')))
    n=$((n + $(sed -nE 's/^[^ ]+: ([0-9]+) checks, ([0-9]+) failed$/\1 \2/p' "$log" |
        awk '{t+=$1-$2} END {print t+0}')))
    f=$(sed -nE 's/^[^ ]+: ([0-9]+) checks, ([0-9]+) failed$/\2/p' "$log" | awk '{t+=$1} END {print t+0}')
    f=$((f + $(sed -nE 's/.*tests passed, ([0-9]+) tests failed out of.*/\1/p' "$log" |
        awk '{t+=$1} END {print t+0}')))
    if [[ $n -eq 0 && $f -eq 0 ]]; then
        if [[ $ok == 1 ]]; then n=1; else f=1; fi
    elif [[ $ok == 0 && $f -eq 0 ]]; then
        f=1
    fi
    passed=$((passed + n))
    failed=$((failed + f))
}

# A step that hangs is stopped after this many seconds, so that the run still ends with the
# step's name and the summary instead of being cut off from outside; the slowest step takes a
# few minutes.
STEP_LIMIT="${ULMA_STEP_LIMIT:-1500}"

# step NAME COMMAND...: runs one step, timed; the first failure ends the run. A step that ends
# well but whose output reports a failed test or check counts as failed too. A command (not a
# shell function) that runs longer than STEP_LIMIT is stopped and fails the step.
step() {
    local name="$1" t0=$SECONDS log before=$failed ok=1
    shift
    log="$(mktemp)"
    printf '\n=== %s\n' "$name"
    if declare -F "$1" >/dev/null; then
        "$@" 2>&1 | tee "$log" || ok=0
    else
        # The limited command runs in a process group of its own, which a terminal would stop
        # as soon as it read from it: it gets no terminal input.
        timeout -k 30 "$STEP_LIMIT" "$@" </dev/null 2>&1 | tee "$log" || ok=0
    fi
    if [[ $ok == 0 && $((SECONDS - t0)) -ge $STEP_LIMIT ]]; then
        printf 'Stopped after %d s: the step did not end.\n' "$STEP_LIMIT"
    fi
    count_tests "$log" "$ok"
    rm -f "$log"
    if [[ $ok == 1 && $failed == "$before" ]]; then
        printf '=== %s: passed (%d s)\n' "$name" $((SECONDS - t0))
    else
        printf '=== %s: FAILED (%d s)\n' "$name" $((SECONDS - t0))
        printf 'Stopped at the first failure: %s\n' "$name"
        summary
        exit 1
    fi
}

step "packages" ensure_packages
# Where the kernel refuses 32-bit programs, Wine runs only the x86_64 build (see the file).
source tests/wine/wine_arch.sh
ulma_wine_arch "$ROOT"
no32="this machine cannot run 32-bit programs, so Wine cannot run i686 ones"
step "native build and tests" cmake --workflow --preset native
step "native tests under AddressSanitizer" cmake --workflow --preset native-asan
step "native tests under ThreadSanitizer" cmake --workflow --preset native-tsan
step "formatting (clang-format)" tests/lint/format.sh
step "static analysis (clang-tidy, cppcheck)" tests/lint/run.sh build/native
step "fuzz targets, ${ULMA_FUZZ_SECONDS:-20} s each" tests/fuzz/run.sh "${ULMA_FUZZ_SECONDS:-20}"
step "Windows i686 build (dist/win32)" cmake --workflow --preset win32
step "Windows x86_64 build (dist/win64)" cmake --workflow --preset win64
step "i686 build reproducible in another folder" tests/build/reproducible.sh
step "imports of dist/win32/ulmaupdate.exe" tests/wine/check_imports.sh dist/win32/ulmaupdate.exe
step "imports of dist/win64/ulmaupdate.exe" tests/wine/check_imports.sh dist/win64/ulmaupdate.exe
# A quick run of two figure scripts (the full figures: README.md, "Figures").
step "sizes and imports of both builds and the minimal dialog programs" bench/sizes.sh
step "discovery figures run" build/native/bench/bench_discovery
if [[ $ULMA_WINE32 == 1 ]]; then
    step "Windows layer tests under Wine (i686)" tests/wine/run_win32_tests.sh i686
else
    skip "Windows layer tests under Wine (i686)" "$no32"
fi
step "Windows layer tests under Wine (x86_64)" tests/wine/run_win32_tests.sh x86_64
# The end-to-end tests run the shipped i686 ready folder, or the x86_64 one where i686 programs
# cannot run (tests/wine/lib.sh chooses).
for t in tests/wine/e2e_*.sh; do
    step "end-to-end: $(basename "$t" .sh)" bash "$t"
done
if [[ $ULMA_WINE32 == 1 ]]; then
    # The x86_64 ready folder plays a whole update too.
    step "end-to-end: e2e_update with dist/win64" env E2E_DIST="$PWD/dist/win64" \
        E2E_ARTIFACTS="$PWD/build/e2e-artifacts/win64" bash tests/wine/e2e_update.sh
    # The delivered 32-bit program on 32-bit Windows, where it does not run under WOW64 and the
    # registry has one view: a whole update, and the information library found through the
    # registry.
    for t in e2e_update e2e_infolib; do
        step "end-to-end on 32-bit Windows: $t" env WINEARCH=win32 \
            WINEPREFIX="$PWD/build/wine-prefix-32" E2E_INFOLIB_PREFIX="$PWD/build/wine-prefix-infolib-32" \
            E2E_ARTIFACTS="$PWD/build/e2e-artifacts/32-bit-windows" bash "tests/wine/$t.sh"
    done
else
    printf '\nThe end-to-end tests above ran with dist/win64: %s.\n' "$no32"
    for t in e2e_update e2e_infolib; do
        skip "end-to-end on 32-bit Windows: $t" "$no32"
    done
fi

printf '\nAll steps done in %d s; screenshots in build/e2e-artifacts/\n' $((SECONDS - started))
summary
