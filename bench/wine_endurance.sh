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
# shellcheck disable=SC2034 # read by lib.sh
E2E_HEAP_CHECK=0
source "$(dirname "$0")/../tests/wine/lib.sh"
source "$(dirname "$0")/../tests/wine/lib_update.sh"

e2e_need_dist
e2e_begin

UPD_DIR="$(e2e_scratch endurance-bench)"
# The faults a round turns on, all off; every press of Update names all of them, so none stays
# behind from the press before (the result code matters only with a failing package).
FAULTS_OFF=(fault_no_answer_preamble=0 fault_no_answer_read=0 fault_send_package=0
    fault_send_percent=0)
faults() { upd_state "${FAULTS_OFF[@]}" "$@"; }
# press_update: presses Update in the main dialog and waits for the next dialog.
press_update() {
    e2e_drive use "$MAIN" click 1001 >/dev/null || true
    upd_next "$MAIN" 60000
}
# expect_box ROUND WHAT: the window on top is a message box; its OK is pressed.
expect_box() {
    [[ -n "$(upd_message "$UPD_DUMP")" ]] || e2e_die "round $1, $2: no message box: $UPD_DUMP"
    e2e_drive use "$UPD_HWND" click 1 >/dev/null || true
}

# The sample printer without its pacing: the rounds measure what stays behind, not time.
upd_state speed=0 progress_step=25
faults
e2e_install_configured_printer "$UPD_DIR/simprinter.ini" "$UPD_DIR/ulmaupdate.ini"

e2e_start "$UPD_DIR/ulmaupdate.exe"
upd_next 0x0 60000
upd_has_control "$UPD_DUMP" 1006 || e2e_die "warning not shown: $UPD_DUMP"
e2e_drive use "$UPD_HWND" click 1 >/dev/null || true
upd_next "$UPD_HWND" 60000
MAIN="$UPD_HWND"
upd_has_control "$UPD_DUMP" 1001 || e2e_die "the main dialog did not open: $UPD_DUMP"

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
    faults fault_no_answer_preamble=1
    press_update
    expect_box "$r" "refused preamble"

    faults fault_no_answer_read=1
    press_update
    expect_box "$r" "no reply"

    faults fault_send_package=1 fault_send_percent=50 fault_send_result=1
    press_update
    e2e_drive use "$UPD_HWND" click 6 >/dev/null || true
    # The progress and device-busy windows come before the failure message.
    for _ in 1 2 3 4; do
        upd_next "$UPD_HWND" 60000
        [[ "$UPD_HWND" == 0x0 || -n "$(upd_message "$UPD_DUMP")" && "$UPD_HWND" != "$MAIN" ]] && break
    done
    expect_box "$r" "stops mid-transfer"

    faults
    press_update
    e2e_drive use "$UPD_HWND" click 7 >/dev/null || true
    upd_next "$UPD_HWND" 60000
    [[ "$UPD_HWND" == "$MAIN" ]] || e2e_die "round $r: not back in the main dialog: $UPD_DUMP"

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
