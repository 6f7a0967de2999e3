#!/usr/bin/env bash
# Endurance under Wine: one run of ulmaupdate.exe goes through N rounds of Updates that end
# without an update (a refused preamble, a reply that never comes, a printer that stops answering
# half-way through the first package, a confirmation answered No), as a user who tries again and
# again would. After each round it prints the program's resident memory, threads and open files,
# and the open files of the prefix's wineserver (where the program's kernel handles live), then
# the change from the first round to the last; a handle, thread or buffer kept by any of these paths
# shows as a figure that climbs.
#
# Usage: bench/wine_endurance.sh [N]     (default 30; needs the Windows build: cmake --workflow
#                                         --preset win32, or win64 on a 64-bit-only machine)
set -euo pipefail
ROUNDS="${1:-30}"
# Measured as a user runs the program, without Wine's heap checks.
E2E_HEAP_CHECK=0
source "$(dirname "$0")/../tests/wine/lib.sh"

e2e_need_dist
e2e_begin

message_of() { awk -F'\t' '$1 == "message" { print $2; exit }' <<<"$1"; }
has_control() { awk -F'\t' -v id="$2" '$1 == "control" && $2 == id { f = 1 } END { exit !f }' <<<"$1"; }
next_window() {
    dump="$(e2e_drive use "$1" wait-next 60000 dump)" || true
    HWND="$(awk -F'\t' '$1 == "window" { print $2; exit }' <<<"$dump")"
    HWND="${HWND:-0x0}"
}
# expect_box ROUND WHAT: the window on top is a message box; its OK is pressed.
expect_box() {
    [[ -n "$(message_of "$dump")" ]] || e2e_die "round $1, $2: no message box: $dump"
    e2e_drive use "$HWND" click 1 >/dev/null || true
}

DIR="$(e2e_scratch endurance-bench)"
STATE="$DIR/simprinter.ini"
# The sample printer without its pacing: the rounds measure what stays behind, not time.
BASE="$(grep -v -E '^(speed|progress_step)=' "$STATE")"$'\n'"speed=0"$'\n'"progress_step=25"
e2e_install_configured_printer "$STATE" "$DIR/ulmaupdate.ini"
set_state() { { printf '%s\n' "$BASE"; printf '%s\n' "$@"; } >"$STATE"; }

set_state
e2e_start "$DIR/ulmaupdate.exe"
next_window 0x0
has_control "$dump" 1006 || e2e_die "warning not shown: $dump"
e2e_drive use "$HWND" click 1 >/dev/null || true
next_window "$HWND"
MAIN="$HWND"
has_control "$dump" 1001 || e2e_die "the main dialog did not open: $dump"

PID=""
for p in $(pgrep -f ulmaupdate.exe); do
    [[ "$(cat "/proc/$p/comm" 2>/dev/null)" == ulmaupdate.exe ]] && PID="$p"
done
SERVER=""
for p in $(pgrep -f wineserver); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && SERVER="$p"
done
[[ -n "$PID" && -n "$SERVER" ]] || e2e_die "the program's or the wineserver's process not found"

# figures: "RSS_KB THREADS FILES SERVER_FILES"
figures() {
    printf '%s %s %s %s\n' "$(awk '/^VmRSS/ { print $2 }' "/proc/$PID/status")" \
        "$(find "/proc/$PID/task" -mindepth 1 -maxdepth 1 | wc -l)" \
        "$(find "/proc/$PID/fd" -mindepth 1 -maxdepth 1 | wc -l)" \
        "$(find "/proc/$SERVER/fd" -mindepth 1 -maxdepth 1 | wc -l)"
}
show() { read -r rss threads files server <<<"$2"; printf '%-9s %9s %8s %6s %13s\n' "$1" "$rss" "$threads" "$files" "$server"; }

printf '%-9s %9s %8s %6s %13s\n' round "RSS (KB)" threads files "server files"
START="$(figures)"
show start "$START"
for r in $(seq 1 "$ROUNDS"); do
    set_state fault_no_answer_preamble=1
    e2e_drive use "$MAIN" click 1001 >/dev/null || true
    next_window "$MAIN"
    expect_box "$r" "refused preamble"

    set_state fault_no_answer_read=1
    e2e_drive use "$MAIN" click 1001 >/dev/null || true
    next_window "$MAIN"
    expect_box "$r" "no reply"

    set_state fault_send_package=1 fault_send_percent=50 fault_send_result=1
    e2e_drive use "$MAIN" click 1001 >/dev/null || true
    next_window "$MAIN"
    e2e_drive use "$HWND" click 6 >/dev/null || true
    # The progress and device-busy windows come before the failure message.
    for _ in 1 2 3 4; do
        next_window "$HWND"
        [[ "$HWND" == 0x0 || -n "$(message_of "$dump")" && "$HWND" != "$MAIN" ]] && break
    done
    expect_box "$r" "stops mid-transfer"

    set_state
    e2e_drive use "$MAIN" click 1001 >/dev/null || true
    next_window "$MAIN"
    e2e_drive use "$HWND" click 7 >/dev/null || true
    next_window "$HWND"
    [[ "$HWND" == "$MAIN" ]] || e2e_die "round $r: not back in the main dialog: $dump"

    NOW="$(figures)"
    show "$r" "$NOW"
    [[ $r == 1 ]] && FIRST="$NOW"
done
e2e_drive use "$MAIN" click 1004 >/dev/null || true
e2e_wait_program 20 >/dev/null || e2e_log "the program did not end on Exit"

read -r rss1 threads1 files1 server1 <<<"$FIRST"
read -r rssn threadsn filesn servern <<<"$NOW"
if ((ROUNDS > 1)); then
    printf 'From round 1 to round %s: %s KB resident per round; threads %+d, files %+d, server files %+d\n' \
        "$ROUNDS" \
        "$(awk -v a="$rss1" -v b="$rssn" -v n="$((ROUNDS - 1))" 'BEGIN { printf "%.1f", (b - a) / n }')" \
        "$((threadsn - threads1))" "$((filesn - files1))" "$((servern - server1))"
fi
