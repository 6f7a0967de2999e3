#!/usr/bin/env bash
# Faults of the simulated printer under Wine, with the real ulmaupdate.exe. One run of the program
# meets, one Update after the other: a refused preamble, a printer that is not ready, a reply that
# never comes, a printer that stops answering in the middle of a package, and an unknown result
# code on the second package. Each is reported with its message and icon, nothing is sent that
# should not be, and the main dialog stays usable; with the fault cleared the next Update
# completes. A second run takes the full time-out of every raw write and read and still
# completes. Screenshots go to build/e2e-artifacts/faults/.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/lib_update.sh"

e2e_need_dist
e2e_begin

icon_of() { awk -F'\t' '$1 == "icon" { print $3; exit }' <<<"$1"; }

# next_window PREVIOUS_HWND: the next dialog the user would see, in $UPD_DUMP and $UPD_HWND.
next_window() { upd_next "$1" 40000; }

# next_message PREVIOUS_HWND: skips the windows that come before the next message box: the main
# dialog while a slow preamble holds it, the progress and the device-busy windows.
next_message() {
    local _
    next_window "$1"
    for _ in 1 2 3 4; do
        # The main dialog's own static texts have the id of a message box's text too.
        [[ "$UPD_HWND" != 0x0 ]] || return 0
        [[ -z "$(upd_message "$UPD_DUMP")" ]] || upd_has_control "$UPD_DUMP" 1001 || return 0
        next_window "$UPD_HWND"
    done
}

DIR="$(e2e_scratch faults)"
STATE="$DIR/simprinter.ini"
LOG="$STATE.log"
MODEL="$(e2e_ini_value "$DIR/ulmaupdate.ini" MachineName)"
NEW="$(e2e_ini_value "$DIR/ulmaupdate.ini" NewVersion)"
PRINTER="$(e2e_ini_value "$STATE" printer)"
OLDVER="$(e2e_ini_value "$STATE" version)"
OLD="$OLDVER$(e2e_ini_value "$STATE" sysinfo)"
TITLE="$(e2e_format "$(e2e_rc_text en IDS_TITLE_FMT)" "$MODEL")"
CANNOT="$(e2e_rc_text en IDS_CANNOT_COMMUNICATE)"
FAILED="$(e2e_rc_text en IDS_TRANSFER_FAILED)"
CONFIRM="$(e2e_format "$(e2e_rc_text en IDS_CONFIRM_UPDATE)" "$OLD" "$NEW" "$MODEL")"
# The sample printer without its pacing: the transfer itself takes no time.
BASE="$(grep -v -E '^(speed|progress_step)=' "$STATE")"$'\n'"speed=0"$'\n'"progress_step=25"
e2e_install_printer "$PRINTER" "$(e2e_ini_value "$DIR/ulmaupdate.ini" DriverName)"

# set_state [KEY=VALUE...]: the sample printer with these faults; the DLLs read it before every
# call, so it takes effect at the next one.
set_state() {
    { printf '%s\n' "$BASE"; printf '%s\n' "$@"; } >"$STATE"
}

# received: how many packages the printer has received whole.
received() { find "$(dirname "$STATE")" -maxdepth 1 -name "$(basename "$STATE").recv*.bin" | wc -l; }

# log_lines: the length of the call log; calls_since LINE_COUNT: the log lines written after the
# log had that many lines.
log_lines() { if [[ -f "$LOG" ]]; then wc -l <"$LOG"; else echo 0; fi; }
calls_since() { [[ -f "$LOG" ]] && tail -n +"$(($1 + 1))" "$LOG" | tr -d '\r' || true; }

# main_usable MAIN_HWND WHAT: after a message box, the main dialog is the dialog the user works
# in again, with the printer still chosen and Update enabled.
main_usable() {
    next_window "$UPD_HWND"
    if [[ "$UPD_HWND" == "$1" && "$(printers_window_state "$UPD_DUMP")" == "1 1 1 0" ]]; then
        e2e_pass "$2: the main dialog is usable again"
    else
        e2e_fail "$2: the main dialog is not usable afterwards"
        sed 's/^/         /' <<<"$UPD_DUMP"
    fi
}

# "enabled update-enabled printer-count selected" of a main dialog dump.
printers_window_state() {
    awk -F'\t' '
        $1 == "window" { split($4, e, "="); en = e[2] }
        $1 == "control" && $2 == 1001 { up = $4 }
        $1 == "item" && $2 == 1000 { n++ }
        $1 == "selected" && $2 == 1000 { sel = $3 }
        END { print en " " up " " n " " sel }' <<<"$1"
}

# expect_box WHAT TEXT ICON: the current dump is a message box with this text and icon colour
# (red: error, yellow: warning, blue: information or question); presses its OK.
expect_box() {
    e2e_expect_eq "$1: message" "$(upd_message "$UPD_DUMP")" "$2"
    e2e_expect_eq "$1: icon" "$(icon_of "$UPD_DUMP")" "$3"
    e2e_expect_line "$1: caption" "$UPD_DUMP" "caption	$TITLE"
    e2e_drive use "$UPD_HWND" click 1 >/dev/null || true
}

# ---- First run: faults one after the other, then a clean Update --------------------------------
printf '== faults, one Update each, in one run of the program\n'
set_state
rm -f "$LOG" "$STATE".recv*.bin
e2e_start "$DIR/ulmaupdate.exe"
UPD_HWND=0x0
next_window "$UPD_HWND"
upd_has_control "$UPD_DUMP" 1006 || e2e_fail "warning not shown: $UPD_DUMP"
e2e_drive use "$UPD_HWND" click 1 >/dev/null || true
next_window "$UPD_HWND"
MAIN="$UPD_HWND"
upd_has_control "$UPD_DUMP" 1001 || e2e_die "the main dialog did not open: $UPD_DUMP"

# answer_yes: answers Yes to the confirmation on screen and goes on to the next message box.
answer_yes() {
    e2e_drive use "$UPD_HWND" click 6 >/dev/null || true
    next_message "$UPD_HWND"
}

# press_update: presses Update in the main dialog; $UPD_DUMP then holds the first box shown and
# $MARK the length of the call log before.
press_update() {
    MARK="$(log_lines)"
    e2e_drive use "$MAIN" click 1001 >/dev/null || true
    next_window "$MAIN"
}

# The preamble (the first raw write) is refused: 1910 with the error icon, before any question.
set_state fault_no_answer_preamble=1
press_update
e2e_screenshot "faults/1-preamble-refused"
expect_box "refused preamble" "$CANNOT" red
calls="$(calls_since "$MARK")"
grep -q '^QVWriteFile .*data=1B696101' <<<"$calls" && e2e_pass "refused preamble: it was tried" ||
    e2e_fail "refused preamble: no preamble write in the log"
grep -q -E '^(QVReadFile|XMSendFile)' <<<"$calls" &&
    e2e_fail "refused preamble: the program went on to read or send" ||
    e2e_pass "refused preamble: nothing read, nothing sent"
main_usable "$MAIN" "refused preamble"

# The status block says not ready: 1910 with the warning icon, no raw command at all.
set_state fault_status_not_ready=1
press_update
e2e_screenshot "faults/2-not-ready"
expect_box "printer not ready" "$CANNOT" yellow
grep -q -E '^(QV|XMSendFile)' <<<"$(calls_since "$MARK")" &&
    e2e_fail "printer not ready: raw commands or data were sent" ||
    e2e_pass "printer not ready: no raw command, nothing sent"
main_usable "$MAIN" "printer not ready"

# The information reply never comes: the read-failure box with the error icon.
set_state fault_no_answer_read=1
press_update
e2e_screenshot "faults/3-no-reply"
expect_box "no reply" "$(e2e_rc_text en IDS_READ_FAILED)" red
grep -q '^XMSendFile' <<<"$(calls_since "$MARK")" && e2e_fail "no reply: data was sent" ||
    e2e_pass "no reply: nothing sent"
main_usable "$MAIN" "no reply"

# The printer stops answering half-way through the first package: 1911, nothing received.
set_state fault_send_package=1 fault_send_percent=50 fault_send_result=1
press_update
e2e_expect_eq "stops mid-transfer: confirmation first" "$(upd_message "$UPD_DUMP")" "$CONFIRM"
answer_yes
e2e_screenshot "faults/4-stops-mid-transfer"
expect_box "stops mid-transfer" "$FAILED" red
calls="$(calls_since "$MARK")"
e2e_expect_eq "stops mid-transfer: one package tried, the second not" \
    "$(grep -c '^XMSendFile' <<<"$calls" || true)" 1
e2e_expect_eq "stops mid-transfer: no package received" "$(received)" 0
main_usable "$MAIN" "stops mid-transfer"

# The second package ends with a result code the program does not know: 1911, version unchanged.
set_state fault_send_package=2 fault_send_percent=0 fault_send_result=77
press_update
e2e_expect_eq "unknown result code: confirmation again" "$(upd_message "$UPD_DUMP")" "$CONFIRM"
answer_yes
e2e_screenshot "faults/5-unknown-result"
expect_box "unknown result code" "$FAILED" red
grep -q '^XMSendFile .*result=77$' <<<"$(calls_since "$MARK")" &&
    e2e_pass "unknown result code: the second package ended with 77" ||
    e2e_fail "unknown result code: no XMSendFile ended with 77"
e2e_expect_eq "unknown result code: the printer keeps its version" "$(e2e_ini_value "$STATE" version)" \
    "$OLDVER"
main_usable "$MAIN" "unknown result code"

# Fault cleared: the same run completes the update.
set_state
rm -f "$STATE".recv*.bin
press_update
e2e_expect_eq "after the faults: confirmation with the old version" "$(upd_message "$UPD_DUMP")" "$CONFIRM"
answer_yes
e2e_screenshot "faults/6-completed"
expect_box "after the faults: completed" "$(e2e_format "$(e2e_rc_text en IDS_COMPLETED)" "$MODEL")" blue
e2e_wait_program 20 >/dev/null && e2e_pass "after the faults: the program ends" ||
    e2e_fail "after the faults: the program is still running"
e2e_expect_eq "after the faults: both packages received" \
    "$(received)" 2
e2e_expect_eq "after the faults: the printer reports the new version" \
    "$(e2e_ini_value "$STATE" version)" "$NEW"

# ---- Second run: every raw write and read takes its full time-out -----------------------------
printf '== every raw write and read takes its full time-out\n'
set_state fault_slow_answer=1
rm -f "$LOG" "$STATE".recv*.bin
e2e_start "$DIR/ulmaupdate.exe"
UPD_HWND=0x0
next_window "$UPD_HWND"
e2e_drive use "$UPD_HWND" click 1 >/dev/null || true
next_window "$UPD_HWND"
MAIN="$UPD_HWND"
t0=$SECONDS
MARK="$(log_lines)"
e2e_drive use "$MAIN" click 1001 >/dev/null || true
# An Enter typed at the frozen main dialog while the printer is slow to answer must not answer
# the question that follows before it has been seen.
sleep 3
xdotool key Return || e2e_fail "slow answers: Enter could not be typed during the query"
next_window "$MAIN"
query_s=$((SECONDS - t0))
e2e_expect_eq "slow answers: confirmation with the old version" "$(upd_message "$UPD_DUMP")" "$CONFIRM"
calls="$(calls_since "$MARK")"
grep -q '^XMSendFile' <<<"$calls" &&
    e2e_fail "slow answers: a package was sent before the question was answered" ||
    e2e_pass "slow answers: nothing sent before the question was answered"
# Two writes of 10 s and a read of 2 s: the question cannot come sooner than 22 s.
((query_s >= 22)) && e2e_pass "slow answers: the query waited its time-outs (${query_s} s)" ||
    e2e_fail "slow answers: the question came after ${query_s} s, before the time-outs"
answer_yes
e2e_screenshot "faults/7-slow-completed"
expect_box "slow answers: completed" "$(e2e_format "$(e2e_rc_text en IDS_COMPLETED)" "$MODEL")" blue
e2e_wait_program 20 >/dev/null && e2e_pass "slow answers: the program ends" ||
    e2e_fail "slow answers: the program is still running"
e2e_expect_eq "slow answers: both packages received" "$(received)" 2

printf 'Screenshots: %s\n' "$E2E_ARTIFACTS/faults"
e2e_finish
