#!/usr/bin/env bash
# The main dialog and the About box of the real ulmaupdate.exe under Wine, with the printers of
# the discovery prefix (see lib_printers.sh), in English and Japanese: caption, the listed
# printers in the combo's sorted order, the preselected printer, the printers of other drivers
# absent, the "no compatible printer" path with the printer choice and Update disabled, a raw I/O
# library without one export, and the About box opened from the system menu. Screenshots go to
# build/e2e-artifacts/maindlg/.
set -euo pipefail
ROOT_DIR="$(cd "$(dirname "$0")/../.." && pwd)"
export WINEPREFIX="${E2E_PRINTERS_PREFIX:-$ROOT_DIR/build/wine-prefix-printers}"
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/lib_printers.sh"

e2e_need_dist
NOREAD_DLL=""
for f in "$E2E_DIST/variants/noread/qvfilo.dll" \
    "$E2E_WINBUILD/standins/variants/noread/qvfilo.dll" \
    "$E2E_BUILD/h11-w32/standins/variants/noread/qvfilo.dll"; do
    if [[ -f "$f" ]]; then
        NOREAD_DLL="$f"
        break
    fi
done
e2e_begin
printers_begin

VERSION_LABEL="1.30RZ"

# start_case NAME [KEY=VALUE]...: a fresh ready folder with these configuration values; the
# program started, Start pressed on the warning. The dialog that follows is dumped into $DUMP and
# its window handle kept in $HWND.
start_case() {
    local name="$1" kv
    shift
    DIR="$(e2e_scratch "maindlg-$LANG_TAG-$name")"
    SHOT="maindlg/$LANG_TAG-$name"
    for kv in "$@"; do
        printers_set_ini "$DIR/ulmaupdate.ini" "${kv%%=*}" "${kv#*=}"
    done
    MODEL="$(e2e_ini_value "$DIR/ulmaupdate.ini" MachineName)"
    DRIVER="$(e2e_ini_value "$DIR/ulmaupdate.ini" DriverName)"
    TITLE="$(e2e_format "$TITLE_FMT" "$MODEL")"
    e2e_start "$DIR/ulmaupdate.exe"
    DUMP="$(e2e_drive wait-dialog 20000 click 1 wait-next 20000 dump)" || true
    HWND="$(printers_window "$DUMP")"
}

# next_dialog: the dialog that follows $HWND, into $DUMP and $HWND.
next_dialog() {
    DUMP="$(e2e_drive use "$HWND" wait-next "${1:-10000}" dump)" || true
    HWND="$(printers_window "$DUMP")"
}

# exit_program: Exit on the main dialog ends the program.
exit_program() {
    e2e_drive use "$1" click 1004 >/dev/null || e2e_fail "$LANG_TAG: Exit could not be pressed"
    e2e_wait_program 20 >/dev/null && e2e_pass "$LANG_TAG: Exit ends the program" ||
        e2e_fail "$LANG_TAG: the program is still running after Exit"
}

main_dialog() {
    start_case main
    local main="$HWND" sorted
    e2e_screenshot "$SHOT"
    sorted="$(printers_join '|' "${PRINTERS_ACCEPTED_SORTED[@]}")"
    e2e_expect_line "$LANG_TAG: caption from the model name" "$DUMP" "caption	$TITLE"
    e2e_expect_eq "$LANG_TAG: printers in sorted order" "$(printers_combo_items "$DUMP")" "$sorted"
    local name absent=""
    for name in "${PRINTERS_OTHER_DRIVERS[@]}" "${PRINTERS_NOT_LISTED[@]}"; do
        grep -Fq "	$name" <<<"$DUMP" && absent+="$name "
    done
    e2e_expect_eq "$LANG_TAG: letter-case driver, other driver and unbuildable queues absent" \
        "$absent" ""
    e2e_expect_eq "$LANG_TAG: the printer named like the driver is preselected" \
        "$(printers_combo_selected "$DUMP")" 2
    e2e_expect_eq "$LANG_TAG: combo text is the preselected printer" \
        "$(e2e_control_text "$DUMP" 1000)" "$DRIVER"
    e2e_expect_eq "$LANG_TAG: printer choice and Update enabled" \
        "$(printers_control_state "$DUMP" 1000) $(printers_control_state "$DUMP" 1001)" "1 1 1 1"

    # The open drop-down list, for the screenshot.
    if printers_open_list "$TITLE"; then
        sleep 0.7
        e2e_screenshot "$SHOT-list"
        printers_close_list "$main" || true
    else
        e2e_log "The drop-down list could not be opened for its screenshot"
    fi

    # The About entry of the system menu.
    printers_post_syscommand "$main" 0x0010 || e2e_fail "$LANG_TAG: WM_SYSCOMMAND not posted"
    next_dialog
    e2e_screenshot "maindlg/$LANG_TAG-about"
    e2e_expect_line "$LANG_TAG: About caption" "$DUMP" \
        "caption	$(printers_rc_caption "$LANG_TAG" IDD_ABOUTBOX)"
    e2e_expect_eq "$LANG_TAG: About name line from the driver name" \
        "$(e2e_control_text "$DUMP" 1007)" "$(e2e_format "$TITLE_FMT" "$DRIVER")"
    e2e_expect_eq "$LANG_TAG: About version line" "$(e2e_control_text "$DUMP" 1008)" \
        "$(e2e_format "$(e2e_rc_text "$LANG_TAG" IDS_VERSION_FMT)" "$VERSION_LABEL")"
    e2e_drive use "$HWND" click 1 wait-gone 5000 >/dev/null &&
        e2e_pass "$LANG_TAG: OK closes the About box" ||
        e2e_fail "$LANG_TAG: the About box did not close"

    if [[ $LANG_TAG == en ]]; then
        # Only the low four bits of the command id are ignored.
        printers_post_syscommand "$main" 0x001F || true
        HWND="$main"
        next_dialog
        e2e_expect_eq "system command 0x001F opens the About box" \
            "$(e2e_control_text "$DUMP" 1008)" "Version $VERSION_LABEL"
        e2e_drive use "$HWND" escape wait-gone 5000 >/dev/null ||
            e2e_fail "Escape did not close the About box"
        printers_post_syscommand "$main" 0x0020 || true
        HWND="$main"
        next_dialog 1500
        e2e_expect_eq "system command 0x0020 opens nothing" "$HWND" ""
    fi
    exit_program "$main"
}

no_printer() {
    start_case no-printer DriverName="No Such Driver" InboxDriverName="No Such Driver Either"
    e2e_screenshot "$SHOT-message"
    e2e_expect_line "$LANG_TAG: no compatible printer message" "$DUMP" \
        "message	$(e2e_rc_text "$LANG_TAG" IDS_NO_PRINTER)"
    e2e_expect_line "$LANG_TAG: its caption is the title" "$DUMP" "caption	$TITLE"
    e2e_drive use "$HWND" click 1 >/dev/null || e2e_fail "$LANG_TAG: OK could not be pressed"
    next_dialog
    e2e_screenshot "$SHOT"
    e2e_expect_line "$LANG_TAG: the main dialog still gets its caption" "$DUMP" "caption	$TITLE"
    e2e_expect_eq "$LANG_TAG: empty list" "$(printers_combo_items "$DUMP")" ""
    local states="" id
    for id in 1000 1001 1004; do states+="$(printers_control_state "$DUMP" $id);"; done
    e2e_expect_eq "$LANG_TAG: combo box, Update disabled; Exit enabled" "$states" "0 1;0 1;1 1;"
    # Leaving is all that is left, and Enter typed on the real keyboard does it.
    xdotool key Return || e2e_fail "$LANG_TAG: Enter could not be typed"
    if e2e_wait_program 20 >/dev/null; then
        e2e_pass "$LANG_TAG: Enter ends the program"
    else
        e2e_fail "$LANG_TAG: Enter did nothing"
        exit_program "$HWND"
    fi
}

# Preselection searches the whole item text, ignoring letter case; without a match the first
# (alphabetically) printer is chosen.
preselection() {
    start_case case-preselect DriverName="${PRINTERS_D1,,}" InboxDriverName="$PRINTERS_D1"
    e2e_expect_eq "letter-case driver as DriverName: its printer is listed too" \
        "$(printers_combo_items "$DUMP")" \
        "Case Printer|Vantoro QL-S100|Zeta Shipping|Zeta Shipping(Special Tape)"
    e2e_expect_eq "the printer named like DriverName in other letter case is preselected" \
        "$(printers_combo_selected "$DUMP")" 1
    exit_program "$HWND"

    start_case no-match DriverName="$PRINTERS_D2" InboxDriverName="$PRINTERS_D1"
    e2e_expect_eq "no printer named like DriverName: the first item is selected" \
        "$(printers_combo_selected "$DUMP") $(e2e_control_text "$DUMP" 1000)" "0 ~Spare Label"
    exit_program "$HWND"
}

missing_export() {
    if [[ -z "$NOREAD_DLL" ]]; then
        e2e_fail "the stand-in qvfilo.dll without QVReadFile was not built"
        return 0
    fi
    # The variant replaces the ready folder's library before the program starts.
    local src
    src="$(e2e_scratch "maindlg-$LANG_TAG-noread-src")"
    cp "$NOREAD_DLL" "$src/qvfilo.dll"
    E2E_DIST="$src" start_case no-read-export
    e2e_screenshot "$SHOT"
    e2e_expect_eq "$LANG_TAG: without QVReadFile the main dialog opens, with no message box" \
        "$(printers_control_state "$DUMP" 1000) $(e2e_drive list | grep -c '^top')" "1 1 1"
    e2e_expect_line "$LANG_TAG: template caption kept" "$DUMP" \
        "caption	$(printers_rc_caption "$LANG_TAG" IDD_ULMAUPDATE_DIALOG)"
    e2e_expect_eq "$LANG_TAG: empty list" "$(printers_combo_items "$DUMP")" ""
    exit_program "$HWND"
}

checks() {
    LANG_TAG="$1"
    e2e_language "$1"
    printf '== %s\n' "$([[ $1 == en ]] && echo English || echo Japanese)"
    TITLE_FMT="$(e2e_rc_text "$1" IDS_TITLE_FMT)"
    main_dialog
    no_printer
    if [[ $1 == en ]]; then
        preselection
        missing_export
    fi
}

checks en
checks ja
printf 'Screenshots: %s\n' "$E2E_ARTIFACTS/maindlg"
e2e_finish
