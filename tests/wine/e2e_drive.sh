#!/usr/bin/env bash
# The automation tool itself, against its own test dialog (drivefixture.exe) in English and
# Japanese: texts of several lines come out escaped and in UTF-8, combo items and selection,
# enabled state, message-box text, posted clicks that open a modal box, selection with
# notification, Escape, the close box, time-outs.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin
[[ -f "$E2E_TOOLS/drivefixture.exe" ]] || e2e_die "drivefixture.exe not built"

start_fixture() {
    DIR="$(e2e_scratch "drive-$1")"
    cp "$E2E_TOOLS/drivefixture.exe" "$DIR/"
    E2E_PROGRAM_NAME=drivefixture.exe
    e2e_start "$DIR/drivefixture.exe"
}

drive() { wine "$ULMADRIVE" --exe drivefixture.exe "$@" >/dev/null 2>&1 </dev/null; }

# answer_text EXPECTED: the fixture's answer line (1004) once it reads EXPECTED, or what it reads
# after about half a minute. The fixture writes it when its thread has handled the action, which
# a loaded machine may delay; a message sent to read it is served before a posted one.
answer_text() {
    local text="" _
    for _ in $(seq 1 30); do
        text="$(e2e_drive wait-dialog 5000 text 1004 | tail -n1)"
        [[ "$text" == "$1" ]] && break
        sleep 0.3
    done
    printf '%s\n' "$text"
}

echo "== English"
e2e_language en
start_fixture en
dump="$(e2e_drive wait-dialog 20000 dump)" || true
e2e_expect_line "caption" "$dump" "caption	Fixture Window"
e2e_expect_line "text of two lines, tab and backslash escaped" "$dump" \
    'control	1001	Static	1	1	First line\nSecond line\twith a tab and a \\ backslash'
e2e_expect_eq "combo items and selection" \
    "$(awk -F'\t' '$1 == "item" || $1 == "selected" { printf "%s ", $NF }' <<<"$dump")" \
    "Alpha Beta Gamma 1 "
e2e_expect_line "disabled button" "$dump" "control	1005	Button	0	1	Off"
rc=0
drive wait-dialog 5000 click 1005 || rc=$?
e2e_expect_eq "a click on a disabled button is refused" "$rc" 1

# The click is posted: the driver returns while the modal box it opens is up.
box="$(e2e_drive wait-dialog 5000 click 1003 wait-next 5000 dump)" || true
e2e_screenshot drive/en-message-box
e2e_expect_line "message-box text" "$box" 'message	File is not found.\n\nxmlink.dll\nqvfilo.dll'
e2e_drive wait-dialog 5000 cancel wait-gone 5000 >/dev/null || true
e2e_expect_eq "Cancel answers the box" "$(answer_text "answer 2")" "answer 2"
e2e_drive wait-dialog 5000 select-text 1002 Gamma >/dev/null || true
e2e_expect_eq "selection by text notifies the dialog" "$(answer_text "selected Gamma")" \
    "selected Gamma"
rc=0
drive wait-title "No such window" 300 || rc=$?
e2e_expect_eq "time-out status" "$rc" 2
drive wait-dialog 5000 escape || true
e2e_expect_eq "Escape cancels the dialog" "$(e2e_wait_program 10 || echo running)" 2

echo "== Japanese"
e2e_language ja
start_fixture ja
dump="$(e2e_drive wait-dialog 20000 dump)" || true
e2e_screenshot drive/ja-dialog
e2e_expect_line "Japanese caption" "$dump" "caption	試験ウィンドウ"
e2e_expect_eq "Japanese text of two lines" "$(e2e_control_text "$dump" 1001)" '一行目\n二行目'
e2e_expect_eq "Japanese button" "$(e2e_control_text "$dump" 2)" "キャンセル"
box="$(e2e_drive wait-dialog 5000 click 1003 wait-next 5000 dump)" || true
e2e_expect_line "Japanese message-box text" "$box" 'message	ファイルが見つかりません。\n\nxmlink.dll'
e2e_drive wait-dialog 5000 click 1 wait-gone 5000 >/dev/null || true
drive wait-dialog 5000 sleep 300 close || true
e2e_expect_eq "the close box cancels the dialog" "$(e2e_wait_program 10 || echo running)" 2

e2e_finish
