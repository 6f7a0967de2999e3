#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang 14 (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for a short fixed time, starting from a copy of its
# committed seed corpus and with its dictionary fuzz/<target>.dict when there is one. Any crash,
# sanitizer report, leak, time-out or broken invariant fails.
#   tests/fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]     (default 20 s, every target)
# Findings are kept in build/fuzz/findings/<target>/.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
SECONDS_EACH="${1:-${FUZZ_SECONDS:-20}}"
shift || true
BUILD="$ROOT/build/fuzz"
CXX="${FUZZ_CXX:-clang++-14}"
CC="${FUZZ_CC:-clang-14}"

command -v "$CXX" >/dev/null || {
    echo "ERROR: $CXX not found (Debian packages clang-14 and libclang-rt-14-dev)" >&2
    exit 1
}
cmake -S "$ROOT/fuzz" -B "$BUILD" -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_C_COMPILER="$CC" >/dev/null
cmake --build "$BUILD" -j2

if [[ $# -gt 0 ]]; then
    targets=("$@")
else
    targets=()
    for src in "$ROOT"/fuzz/fuzz_*.cpp; do
        name="$(basename "$src" .cpp)"
        targets+=("${name#fuzz_}")
    done
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
status=0
for t in "${targets[@]}"; do
    work="$BUILD/corpus-work/$t"
    findings="$BUILD/findings/$t"
    rm -rf "$work"
    mkdir -p "$work" "$findings"
    cp "$ROOT/fuzz/corpus/$t"/* "$work"/
    dict=()
    [[ -f "$ROOT/fuzz/$t.dict" ]] && dict=(-dict="$ROOT/fuzz/$t.dict")
    printf '=== fuzz %s for %s s\n' "$t" "$SECONDS_EACH"
    if "$BUILD/fuzz_$t" "${dict[@]}" -max_total_time="$SECONDS_EACH" -timeout=30 -rss_limit_mb=2560 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$work" >"$BUILD/fuzz_$t.log" 2>&1; then
        grep -E '^stat::number_of_executed_units|^Done' "$BUILD/fuzz_$t.log" || true
        printf '=== fuzz %s: no finding\n' "$t"
    else
        status=1
        grep -v '^#' "$BUILD/fuzz_$t.log" | tail -40
        printf '=== fuzz %s: FINDING (input in %s, log %s)\n' "$t" "$findings" "$BUILD/fuzz_$t.log"
    fi
done
exit $status
