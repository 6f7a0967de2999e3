#!/usr/bin/env bash
# Runs every test of the project on a Debian 12 machine: installs what is missing, builds and
# tests the native configurations (plain, AddressSanitizer, ThreadSanitizer), builds the two
# Windows ready folders, checks their imports, runs the Windows layer tests and the end-to-end
# tests under Wine. Stops at the first failure. Artefacts: build/e2e-artifacts/.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
source scripts/packages.sh
# Builds and test runs use every core (CI has two).
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-$(nproc)}"

passed=0
failed=0
started=$SECONDS

summary() {
    printf '%d passed, %d failed\n' "$passed" "$failed"
}

# step NAME COMMAND...: runs one step, timed; the first failure ends the run.
step() {
    local name="$1" t0=$SECONDS
    shift
    printf '\n=== %s\n' "$name"
    if "$@"; then
        passed=$((passed + 1))
        printf '=== %s: passed (%d s)\n' "$name" $((SECONDS - t0))
    else
        failed=$((failed + 1))
        printf '=== %s: FAILED (%d s)\n' "$name" $((SECONDS - t0))
        printf 'Stopped at the first failure: %s\n' "$name"
        summary
        exit 1
    fi
}

step "packages" ensure_packages
step "native build and tests" cmake --workflow --preset native
step "native tests under AddressSanitizer" cmake --workflow --preset native-asan
step "thread tests under ThreadSanitizer" cmake --workflow --preset native-tsan
step "Windows i686 build (dist/win32)" cmake --workflow --preset win32
step "Windows x86_64 build (dist/win64)" cmake --workflow --preset win64
step "imports of dist/win32/ulmaupdate.exe" tests/wine/check_imports.sh dist/win32/ulmaupdate.exe
step "imports of dist/win64/ulmaupdate.exe" tests/wine/check_imports.sh dist/win64/ulmaupdate.exe
if [[ -x tests/wine/run_win32_tests.sh ]]; then
    step "Windows layer tests under Wine (i686)" tests/wine/run_win32_tests.sh i686
fi
for t in tests/wine/e2e_*.sh; do
    step "end-to-end: $(basename "$t" .sh)" bash "$t"
done

printf '\nAll steps done in %d s; screenshots in build/e2e-artifacts/\n' $((SECONDS - started))
summary
