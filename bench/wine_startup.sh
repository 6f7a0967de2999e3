#!/usr/bin/env bash
# Start-up time under Wine of ulmaupdate.exe against a minimal dialog program built the same way
# (tools/minimaldlg): N runs of each, taken in turn, from the start of the process until its
# dialog window exists. For the tool two figures: until its first window (the warning, shown
# after the configuration, the file checks and the transfer library's binding) and until the main
# dialog (the warning's OK pressed the moment it appears; the time between seeing the warning and
# pressing OK is left out). The main dialog is also set against a second yardstick,
# tools/minimaldlg's minimalflow, which reaches a list of the installed printers behind a first
# dialog in the same way. Prints the medians and the ratios.
#
# Usage: bench/wine_startup.sh [N]     (default 20; needs the win32 build: cmake --workflow
#                                        --preset win32)
set -euo pipefail
RUNS="${1:-20}"
# The programs are timed as a user runs them, without Wine's heap checks.
E2E_HEAP_CHECK=0
source "$(dirname "$0")/../tests/wine/lib.sh"

e2e_need_dist
e2e_begin
MINIMAL="$(e2e_minimal_program)"
FLOW="$(e2e_minimal_program minimalflow)"

DIR="$(e2e_scratch startup-bench)"
e2e_install_configured_printer "$DIR/simprinter.ini" "$DIR/ulmaupdate.ini"
TITLE="$(e2e_format "$(e2e_rc_text en IDS_TITLE_FMT)" "$(e2e_ini_value "$DIR/ulmaupdate.ini" MachineName)")"
OUT="$E2E_BUILD/.startup-bench.$$"

now_ms() { date +%s%3N; }

# timed EXE DRIVER_ARGS...: starts the automation tool watching EXE's windows, lets it settle,
# starts EXE and prints the start time followed by the tool's clock lines, one per line.
timed() {
    local exe="$1" t0
    shift
    wine "$ULMADRIVE" --exe "$(basename "$exe")" --poll 5 "$@" >"$OUT" 2>&1 </dev/null &
    local driver=$!
    sleep 1.5
    t0="$(now_ms)"
    e2e_start "$exe"
    wait "$driver" || true
    e2e_wait_program 20 >/dev/null || e2e_die "$(basename "$exe") did not end: $(cat "$OUT")"
    printf '%s\n' "$t0"
    tr -d '\r' <"$OUT" | awk -F'\t' '$1 == "clock" { print $2 }'
}

# One run of each: milliseconds to the window(s) on one line.
run_minimal() {
    local t
    mapfile -t t < <(timed "$MINIMAL" wait-title "Minimal Dialog" 60000 clock click 1 \
        wait-exit 20000)
    ((${#t[@]} == 2)) || e2e_die "the minimal dialog program was not timed: $(cat "$OUT")"
    echo $((t[1] - t[0]))
}
run_flow() {
    local t
    mapfile -t t < <(timed "$FLOW" wait-title "Minimal Flow" 60000 clock click 1 clock \
        wait-control 1001 60000 clock click 1 wait-exit 20000)
    ((${#t[@]} == 4)) || e2e_die "the minimal two-dialog program was not timed: $(cat "$OUT")"
    echo $((t[3] - t[0] - (t[2] - t[1])))
}
run_tool() {
    local t
    mapfile -t t < <(timed "$DIR/ulmaupdate.exe" wait-title "$TITLE" 60000 clock click 1 clock \
        wait-control 1001 60000 clock cancel wait-exit 20000)
    ((${#t[@]} == 4)) || e2e_die "ulmaupdate.exe was not timed: $(cat "$OUT")"
    echo "$((t[1] - t[0])) $((t[3] - t[0] - (t[2] - t[1])))"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

# One run of each first, not counted: the first start of a program loads it from the disk.
run_minimal >/dev/null
run_flow >/dev/null
run_tool >/dev/null
minimal=() flow=() first=() main=()
for i in $(seq 1 "$RUNS"); do
    minimal+=("$(run_minimal)")
    flow+=("$(run_flow)")
    read -r a b <<<"$(run_tool)"
    first+=("$a")
    main+=("$b")
    printf '  run %2d: minimal %5d ms, minimal two-dialog %5d ms, ulmaupdate first window %5d ms, main dialog %5d ms\n' \
        "$i" "${minimal[-1]}" "${flow[-1]}" "$a" "$b" >&2
done
rm -f "$OUT"
m="$(printf '%s\n' "${minimal[@]}" | median)"
w="$(printf '%s\n' "${flow[@]}" | median)"
f="$(printf '%s\n' "${first[@]}" | median)"
d="$(printf '%s\n' "${main[@]}" | median)"
printf 'start-up under Wine, median of %d runs each\n' "$RUNS"
printf '  minimal dialog program:         %6d ms\n' "$m"
printf '  ulmaupdate.exe, first window:   %6d ms  (x%s)\n' "$f" "$(awk -v a="$f" -v b="$m" 'BEGIN { printf "%.2f", a / b }')"
printf '  ulmaupdate.exe, main dialog:    %6d ms  (x%s)\n' "$d" "$(awk -v a="$d" -v b="$m" 'BEGIN { printf "%.2f", a / b }')"
printf '  minimal two-dialog program, to its printer list: %6d ms\n' "$w"
printf '  ulmaupdate.exe, main dialog against it:          %6d ms  (x%s)\n' "$d" "$(awk -v a="$d" -v b="$w" 'BEGIN { printf "%.2f", a / b }')"
