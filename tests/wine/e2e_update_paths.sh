#!/usr/bin/env bash
# The ways an update ends other than success, with the real ulmaupdate.exe and the stand-in DLLs
# under Wine, in English and in Japanese. One program run per language presses Update six times
# and changes the simulated printer in between:
#   1. the second package fails half-way: "Failed to transfer.", the first package stays sent,
#      the progress dialog showed the overall percentage of both packages; Escape and Enter
#      typed during the printer's wait leave the failure message up;
#   2. Update again: the query and the confirmation come again; No sends nothing more;
#   3. the printer reports another system-information code (only the letter case differs):
#      the refusal comes after Yes, and nothing is sent;
#   4. the reply cannot be read: the read-failure box, no confirmation;
#   5. Escape during a slow transfer: "Transferring cancelled.", nothing more is sent;
#   6. a whole update, Escape and Alt+F4 pressed while Cancel is disabled changing nothing:
#      the device-busy window, the completion message, the program ends.
# Every text is compared letter for letter with res/<lang>.rc. Screenshots of the progress
# dialog, the device-busy window and every message box go to build/e2e-artifacts/update-paths/.
set -euo pipefail
# shellcheck source=tests/wine/lib.sh
source "$(dirname "$0")/lib.sh"
# shellcheck source=tests/wine/lib_update.sh
source "$(dirname "$0")/lib_update.sh"

e2e_need_dist
e2e_begin
started=$SECONDS
rm -rf "$E2E_ARTIFACTS/update-paths"

# The version text the tool shows for a firmware version and system-information code: codes b
# to y are appended.
version_text() {
    if [[ "$2" =~ ^[b-y]$ ]]; then printf '%s%s\n' "$1" "$2"; else printf '%s\n' "$1"; fi
}

# Data length of a package (stored at offset 16 of its 64-byte header).
data_length() { od -An -tu4 -j16 -N4 "$1" | tr -d ' '; }

shot() { e2e_screenshot "update-paths/$LANG_CODE-$1"; }

# expect_box WHAT PREVIOUS_HWND TEXT SHOT ICON [BUTTONS]: the next window is a message box of
# the program with TEXT, the ICON (error, warning or other) and the buttons BUTTONS (ids,
# default "1": OK alone); screenshot SHOT. Leaves the box's handle in $UPD_HWND.
expect_box() {
    upd_next "$2"
    shot "$4"
    e2e_expect_line "$1: message" "$UPD_DUMP" "message	$3"
    e2e_expect_line "$1: caption is the program title" "$UPD_DUMP" "caption	$TITLE"
    e2e_expect_eq "$1: buttons" \
        "$(awk -F'\t' '$1 == "control" && $3 == "Button" { printf "%s%s", s, $2; s = " " }' <<<"$UPD_DUMP")" \
        "${6:-1}"
    e2e_expect_eq "$1: icon" "$(upd_icon "$E2E_ARTIFACTS/update-paths/$LANG_CODE-$4.png")" "$5"
}

# ok_back_to_main WHAT BOX_HWND: presses OK in a box; the main dialog is the next window, with
# the printer still listed and chosen.
ok_back_to_main() {
    e2e_drive use "$2" click 1 >/dev/null || true
    back_to_main "$1" "$2"
}

back_to_main() {
    upd_next "$2"
    e2e_expect_eq "$1: the main dialog stays, the printer still chosen" \
        "$UPD_HWND $(awk -F'\t' '$1 == "item" || $1 == "selected" { printf "%s;", $NF }' <<<"$UPD_DUMP")" \
        "$MAIN $PRINTER;0;"
}

# press_update: presses Update; the log mark before it is in $MARK.
press_update() {
    MARK="$(upd_log_mark)"
    e2e_drive use "$MAIN" click 1001 >/dev/null || e2e_fail "Update could not be pressed"
}

# confirm WHAT VERSION SHOT: the next window is the confirmation with VERSION as the current
# one, Yes and No, and the question icon.
confirm() {
    expect_box "$1: confirmation" "$MAIN" \
        "$(e2e_format "$(e2e_rc_text "$LANG_CODE" IDS_CONFIRM_UPDATE)" "$2" "$NEW" "$MODEL")" \
        "$3" other "6 7"
    CONFIRM="$UPD_HWND"
}

# Answers Yes to the confirmation and goes on to the window that follows it.
answer_yes() {
    e2e_drive use "$CONFIRM" click 6 >/dev/null || true
    upd_next "$CONFIRM"
}

percent_of() { e2e_control_text "$1" 2312; }

# check_progress WHAT DUMP CANCEL_STATE: the progress dialog's caption and texts.
check_progress() {
    e2e_expect_line "$1: progress dialog caption" "$2" "caption	$TITLE"
    e2e_expect_eq "$1: transfer text" "$(e2e_control_text "$2" 2311)" \
        "$(e2e_rc_text "$LANG_CODE" IDS_TRANSFERRING)"
    local pct
    pct="$(percent_of "$2")"
    if [[ "$pct" =~ ^[0-9]+\ %$ && ${pct% %} -le 100 ]]; then
        e2e_pass "$1: percentage shown as \"$pct\""
    else
        e2e_fail "$1: percentage text \"$pct\""
    fi
    e2e_expect_eq "$1: Cancel control" "$(upd_control_state "$2" 2)" "$3"
}

recv_count() { find "$UPD_DIR" -maxdepth 1 -name 'simprinter.ini.recv*.bin' | wc -l | tr -d ' '; }

paths() {
    LANG_CODE="$1"
    e2e_language "$LANG_CODE"
    printf '== %s\n' "$([[ $LANG_CODE == en ]] && echo English || echo Japanese)"
    UPD_DIR="$(e2e_scratch "update-paths-$LANG_CODE")"
    local ini="$UPD_DIR/ulmaupdate.ini" state="$UPD_DIR/simprinter.ini"
    MODEL="$(e2e_ini_value "$ini" MachineName)"
    NEW="$(e2e_ini_value "$ini" NewVersion)"
    PRINTER="$(e2e_ini_value "$state" printer)"
    TITLE="$(e2e_format "$(e2e_rc_text "$LANG_CODE" IDS_TITLE_FMT)" "$MODEL")"
    local version code pkg1 pkg2 len1 len2 old
    version="$(e2e_ini_value "$state" version)"
    code="$(e2e_ini_value "$state" sysinfo)"
    old="$(version_text "$version" "$code")"
    pkg1="$UPD_DIR/$(e2e_ini_value "$ini" KF7FileName)"
    pkg2="$UPD_DIR/$(e2e_ini_value "$ini" KF7FileName2)"
    len1="$(data_length "$pkg1")"
    len2="$(data_length "$pkg2")"
    [[ "$(e2e_ini_value "$ini" Country)" == "$code" && "$code" =~ ^[a-z]$ ]] ||
        e2e_die "the sample configuration's Country should be the printer's lower-case code"
    e2e_install_printer "$PRINTER" "$(e2e_ini_value "$ini" DriverName)"

    # The second package fails at 50 % (the last report before it is 45 %); Cancel stays
    # disabled (no cancel limit). About three seconds for the first package.
    upd_state speed=2000 progress_step=5 cancel_limit=0 packages=2 \
        fault_send_package=2 fault_send_percent=50 fault_send_result=1
    e2e_start "$UPD_DIR/ulmaupdate.exe"
    upd_next 0x0
    upd_has_control "$UPD_DUMP" 1006 || e2e_fail "no warning at start: $UPD_DUMP"
    e2e_drive use "$UPD_HWND" click 1 >/dev/null || true
    upd_next "$UPD_HWND"
    MAIN="$UPD_HWND"
    upd_has_control "$UPD_DUMP" 1001 || e2e_die "no main dialog: $UPD_DUMP"

    # 1. Failure on the second package.
    printf -- '-- failure on the second package\n'
    press_update
    confirm "failure" "$old" "01-confirm"
    answer_yes
    local prog="$UPD_HWND"
    if upd_has_control "$UPD_DUMP" 2310; then
        shot "02-progress"
        check_progress "failure" "$UPD_DUMP" "enabled=0 visible=0"
        # The dialog keeps its last report while the program waits after the failure:
        # (len2 x 45 / 100 + len1) x 100 / (len1 + len2).
        local expected=$(((len2 * 45 / 100 + len1) * 100 / (len1 + len2)))
        if upd_wait_log 'XMSendFile .* result=1$' 20; then
            upd_dump "$prog"
            e2e_expect_eq "failure: overall percentage of both packages at the last report" \
                "$(percent_of "$UPD_DUMP")" "$expected %"
        else
            e2e_fail "failure: the second package was never refused"
        fi
        # Real keys at the frozen dialog during the printer's wait: they must neither dismiss
        # the failure message unseen nor press Update again.
        sleep 0.5
        xdotool key Escape && xdotool key Return ||
            e2e_fail "failure: Escape and Enter could not be typed during the wait"
    else
        e2e_fail "failure: no progress dialog after Yes: $UPD_DUMP"
    fi
    expect_box "failure" "$prog" "$(e2e_rc_text "$LANG_CODE" IDS_TRANSFER_FAILED)" "03-failed" error
    local box="$UPD_HWND"
    e2e_expect_eq "failure: what reached the printer" "$(upd_calls_since "$MARK")" \
        "$UPD_QUERY_CALLS QVWriteFile:1B696101 XMCmdInit XMSendFile:$len1:0 XMSendFile:$len2:1"
    if [[ "$(recv_count)" == 1 ]] && cmp -s "$state.recv1.bin" <(head -c $((len1 + 64)) "$pkg1"); then
        e2e_pass "failure: the first package stays sent, the second was not received"
    else
        e2e_fail "failure: received packages $(recv_count), the first not as sent"
    fi
    e2e_expect_eq "failure: the printer keeps its version" "$(e2e_ini_value "$state" version)" "$version"
    ok_back_to_main "failure" "$box"

    # 2. Update again: the query and the confirmation come again; No ends it.
    printf -- '-- Update again, No at the confirmation\n'
    upd_state fault_send_package=0
    press_update
    confirm "second Update" "$old" "04-confirm-again"
    e2e_expect_eq "second Update: the printer is selected and asked again" \
        "$(upd_calls_since "$MARK")" "$UPD_QUERY_CALLS"
    e2e_drive use "$CONFIRM" click 7 >/dev/null || true
    back_to_main "No" "$CONFIRM"
    sleep 0.5
    e2e_expect_eq "No: nothing more reaches the printer" "$(upd_calls_since "$MARK")" \
        "$UPD_QUERY_CALLS"

    # 3. Another system-information code: the same letter in upper case.
    printf -- '-- system information differs\n'
    upd_state "sysinfo=${code^^}"
    press_update
    confirm "system information" "$(version_text "$version" "${code^^}")" "05-confirm-other-code"
    e2e_drive use "$CONFIRM" click 6 >/dev/null || true
    expect_box "system information" "$CONFIRM" \
        "$(e2e_rc_text "$LANG_CODE" IDS_SYSINFO_DIFFERENT)" "06-sysinfo-different" warning
    box="$UPD_HWND"
    e2e_expect_eq "system information: nothing is sent after Yes" "$(upd_calls_since "$MARK")" \
        "$UPD_QUERY_CALLS"
    ok_back_to_main "system information" "$box"
    upd_state "sysinfo=$code"

    # 4. The reply cannot be read.
    printf -- '-- read failure\n'
    upd_state fault_no_answer_read=1
    press_update
    expect_box "read failure" "$MAIN" "$(e2e_rc_text "$LANG_CODE" IDS_READ_FAILED)" \
        "07-read-failed" error
    box="$UPD_HWND"
    e2e_expect_eq "read failure: no confirmation, nothing after the read" \
        "$(upd_calls_since "$MARK")" "$UPD_QUERY_CALLS"
    ok_back_to_main "read failure" "$box"
    upd_state fault_no_answer_read=0

    # 5. Escape during a slow transfer (about ten seconds for the first package; a report every
    # half second), with Cancel enabled by the cancel limit.
    printf -- '-- Escape during the transfer\n'
    upd_state speed=600 cancel_limit=1000000
    press_update
    confirm "cancel" "$old" "08-confirm"
    answer_yes
    prog="$UPD_HWND"
    if upd_has_control "$UPD_DUMP" 2310; then
        local first later
        first="$(percent_of "$UPD_DUMP")"
        check_progress "cancel" "$UPD_DUMP" "enabled=1 visible=0"
        sleep 1
        upd_dump "$prog"
        later="$(percent_of "$UPD_DUMP")"
        shot "09-progress"
        e2e_expect_eq "cancel: transfer text while it runs" "$(e2e_control_text "$UPD_DUMP" 2311)" \
            "$(e2e_rc_text "$LANG_CODE" IDS_TRANSFERRING)"
        if [[ "$first" =~ ^[0-9]+\ %$ && "$later" =~ ^[0-9]+\ %$ ]] &&
            ((${later% %} > ${first% %} && ${later% %} < 100)); then
            e2e_pass "cancel: the percentage rises ($first, then $later)"
        else
            e2e_fail "cancel: the percentage does not rise: \"$first\", then \"$later\""
        fi
        # A real key press: the modal progress dialog holds the keyboard focus.
        xdotool key Escape || e2e_fail "cancel: Escape could not be typed"
    else
        e2e_fail "cancel: no progress dialog after Yes: $UPD_DUMP"
    fi
    expect_box "cancel" "$prog" "$(e2e_rc_text "$LANG_CODE" IDS_TRANSFER_CANCELLED)" \
        "10-cancelled" warning
    box="$UPD_HWND"
    e2e_expect_eq "cancel: the transfer stopped in the first package" "$(upd_calls_since "$MARK")" \
        "$UPD_QUERY_CALLS QVWriteFile:1B696101 XMCmdInit XMSendFile:$len1:8"
    e2e_expect_eq "cancel: nothing more received" "$(recv_count)" 1
    ok_back_to_main "cancel" "$box"

    # 6. A whole update in about five seconds, with a cancel limit that no package is below
    # (a limit of 0 would leave the one of step 5 in force): Escape and Alt+F4 while Cancel is
    # disabled leave it alone; then the device-busy window and the completion.
    printf -- '-- a whole update\n'
    upd_state speed=$(((len1 + len2) / 5)) cancel_limit=1
    press_update
    confirm "update" "$old" "11-confirm"
    answer_yes
    prog=""
    if upd_has_control "$UPD_DUMP" 2310; then
        prog="$UPD_HWND"
        # The first report from the library sets the Cancel control for the package.
        sleep 1
        upd_dump "$prog"
        check_progress "update" "$UPD_DUMP" "enabled=0 visible=0"
        xdotool key Escape && xdotool key alt+F4 ||
            e2e_fail "update: Escape and Alt+F4 could not be typed"
        upd_next "$prog"
    fi
    local busy="$UPD_HWND"
    if upd_has_control "$UPD_DUMP" 2510; then
        shot "12-device-busy"
        e2e_expect_eq "device-busy text" "$(e2e_control_text "$UPD_DUMP" 2510)" \
            "$(e2e_rc_text "$LANG_CODE" IDC_DEVPROG_TEXT)"
        e2e_expect_line "device-busy caption" "$UPD_DUMP" "caption	$TITLE"
        if [[ -n "$prog" ]] && upd_visible "$prog"; then
            e2e_fail "the progress dialog is still shown beside the device-busy window"
        else
            e2e_pass "the progress dialog is hidden while the device-busy window shows"
        fi
    else
        e2e_fail "no device-busy window: $UPD_DUMP"
    fi
    expect_box "completion" "$busy" "$(e2e_format "$(e2e_rc_text "$LANG_CODE" IDS_COMPLETED)" "$MODEL")" \
        "13-completed" other
    e2e_drive use "$UPD_HWND" click 1 >/dev/null || true
    if e2e_wait_program 20 >/dev/null; then
        e2e_pass "the program ends after the update"
    else
        e2e_fail "the program is still running after the update"
    fi
    e2e_expect_eq "update: what reached the printer" "$(upd_calls_since "$MARK")" \
        "$UPD_QUERY_CALLS QVWriteFile:1B696101 XMCmdInit XMSendFile:$len1:0 XMSendFile:$len2:0"
    e2e_expect_eq "update: the printer reports the new version" "$(e2e_ini_value "$state" version)" "$NEW"
}

paths en
paths ja
printf 'Screenshots: %s\nRun time: %d s\n' "$E2E_ARTIFACTS/update-paths" $((SECONDS - started))
e2e_finish
