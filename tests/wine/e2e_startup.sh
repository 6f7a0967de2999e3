#!/usr/bin/env bash
# Start-up of the real ulmaupdate.exe under Wine, in English and in Japanese: the warning
# dialog's texts for a given model name, Cancel and the close box ending the program, a second
# copy refused while the first runs, the messages for a missing configuration file, missing
# required files and an unusable transfer library (with a complete set in the working folder,
# which does not count), English shown where the code page cannot hold the Japanese texts, and a
# folder name the code page cannot hold refused. Texts are read from the real windows; a
# screenshot of each window is kept in build/e2e-artifacts/startup/.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

e2e_need_dist

# The stand-in transfer library without XMDeleteFile.
NODELETE_DLL=""
for f in "$E2E_DIST/variants/nodelete/XmLink.dll" "$E2E_WINBUILD/standins/variants/nodelete/XmLink.dll"; do
    if [[ -f "$f" ]]; then
        NODELETE_DLL="$f"
        break
    fi
done

e2e_begin

# Sets KEY=VALUE in the [UPDATE] section of an ini file (the key must be there).
set_ini() {
    sed -i "s|^$2=.*|$2=$3|" "$1"
}

# start_case NAME: a fresh ready folder in $DIR, the program started from it.
start_case() {
    DIR="$(e2e_scratch "$LANG_TAG-$1")"
    SHOT="startup/$LANG_TAG-$1"
}

run_program() {
    e2e_start "$DIR/ulmaupdate.exe"
}

# show_warning MODEL: the program started with this model name; its first window's dump in $dump.
show_warning() {
    set_ini "$DIR/ulmaupdate.ini" MachineName "$1"
    run_program
    dump="$(e2e_drive wait-dialog 20000 dump)" || true
    e2e_screenshot "$SHOT"
}

# expect_end DESCRIPTION: the program ends within 20 s without showing another window.
expect_end() {
    local status
    if status="$(e2e_wait_program 20)"; then
        e2e_pass "$1 (exit status $status)"
    else
        e2e_fail "$1: the program is still running"
        e2e_drive list || true
    fi
}

# expect_message_box CASE TEXT CAPTION: the first window is a message box with this text and
# caption; OK closes it and the program ends.
expect_message_box() {
    local dump
    run_program
    if ! dump="$(e2e_drive wait-dialog 20000 dump)"; then
        e2e_fail "$1: no window appeared"
        printf '%s\n' "$dump"
        return 0
    fi
    e2e_screenshot "$SHOT"
    e2e_expect_line "$1: message text" "$dump" "message	$2"
    e2e_expect_line "$1: message caption" "$dump" "caption	$3"
    e2e_drive wait-dialog 5000 click 1 >/dev/null || e2e_fail "$1: OK could not be pressed"
    expect_end "$1: OK ends the program"
}

checks() {
    LANG_TAG="$1"
    e2e_language "$1"
    printf '== %s\n' "$([[ $1 == en ]] && echo English || echo Japanese)"
    local title_fmt warn_fmt model="QL-S100" dump title text
    title_fmt="$(e2e_rc_text "$1" IDS_TITLE_FMT)"
    warn_fmt="$(e2e_rc_text "$1" IDS_WARNING_TEXT)"

    # The warning for the configured model; Cancel ends the program before the main dialog
    # and without a word to the printer.
    start_case warning
    show_warning "$model"
    title="${title_fmt//%s/$model}"
    text="${warn_fmt//%s/$model}"
    e2e_expect_line "warning caption" "$dump" "caption	$title"
    e2e_expect_eq "warning text" "$(e2e_control_text "$dump" 1006)" "$text"
    e2e_expect_eq "Start and Cancel buttons enabled" \
        "$(awk -F'\t' '$1 == "control" && ($2 == 1 || $2 == 2) { printf "%s%s ", $2, $4 }' <<<"$dump")" \
        "11 21 "
    e2e_drive wait-dialog 5000 click 2 >/dev/null || e2e_fail "Cancel could not be pressed"
    expect_end "Cancel ends the program"
    if grep -qs "^QV" "$DIR/simprinter.ini.log"; then
        e2e_fail "after Cancel the printer was addressed: $(grep "^QV" "$DIR/simprinter.ini.log" | head -n1)"
    else
        e2e_pass "after Cancel the printer was not addressed"
    fi

    # An empty model name still gives a title (with its leading blank); the close box cancels.
    start_case empty-model
    show_warning ""
    e2e_expect_line "title with an empty model name" "$dump" "caption	${title_fmt//%s/}"
    e2e_expect_eq "warning text with an empty model name" "$(e2e_control_text "$dump" 1006)" \
        "${warn_fmt//%s/}"
    e2e_drive wait-dialog 5000 close >/dev/null || e2e_fail "the close box could not be used"
    expect_end "the close box ends the program"

    # A second copy, even renamed and in another folder, says that the tool is already running
    # and ends; the first copy goes on undisturbed.
    start_case first-copy
    run_program
    e2e_drive wait-dialog 20000 >/dev/null || e2e_fail "the first copy showed no warning"
    local first_pid="$E2E_PROGRAM_PID"
    start_case second-copy
    mv "$DIR/ulmaupdate.exe" "$DIR/ulmasecond.exe"
    e2e_start "$DIR/ulmasecond.exe"
    if dump="$(e2e_drive wait-dialog 20000 dump)"; then
        e2e_screenshot "$SHOT"
        e2e_expect_line "second copy: message text" "$dump" \
            "message	$(e2e_rc_text "$1" IDS_ALREADY_RUNNING)"
        e2e_expect_line "second copy: message caption" "$dump" "caption	${title_fmt//%s/$model}"
        e2e_drive wait-dialog 5000 click 1 >/dev/null || e2e_fail "second copy: OK could not be pressed"
    else
        e2e_fail "second copy: no window appeared"
    fi
    expect_end "second copy: OK ends it"
    if grep -qs "^QV" "$DIR/simprinter.ini.log"; then
        e2e_fail "the second copy addressed the printer"
    else
        e2e_pass "the second copy did not address the printer"
    fi
    rm -f "$E2E_PROGRAM_STATUS_FILE"
    E2E_PROGRAM_PID="$first_pid"
    E2E_PROGRAM_NAME=ulmaupdate.exe
    dump="$(e2e_drive wait-dialog 5000 dump)" || true
    e2e_expect_line "the first copy still shows its warning" "$dump" "caption	${title_fmt//%s/$model}"
    e2e_drive wait-dialog 5000 click 2 >/dev/null || e2e_fail "first copy: Cancel could not be pressed"
    expect_end "first copy: Cancel ends it"

    # The cases of missing or unusable files start the program from a working folder that holds
    # a complete ready folder: only the files beside the program count.
    E2E_WORKDIR="$(e2e_scratch "$LANG_TAG-workdir")"

    # No configuration file: the fixed English text, the executable's name as caption.
    start_case no-ini
    rm -f "$DIR/ulmaupdate.ini"
    expect_message_box "missing configuration file" "Error : Data file is not found." "ulmaupdate"

    # Every required file missing: all three names, one per line.
    start_case no-files
    rm -f "$DIR/XmLink.dll" "$DIR/qvfilo.dll" "$DIR/qls100main.bin"
    expect_message_box "all required files missing" \
        'File is not found.\n\nxmlink.dll\nqvfilo.dll\nqls100main.bin' "${title_fmt//%s/$model}"

    # Only the package missing: its line break still follows the empty places.
    start_case no-package
    rm -f "$DIR/qls100main.bin"
    expect_message_box "package missing" 'File is not found.\n\n\nqls100main.bin' \
        "${title_fmt//%s/$model}"

    # A transfer library that lacks one export cannot be bound.
    if [[ -n "$NODELETE_DLL" ]]; then
        start_case no-delete-export
        cp "$NODELETE_DLL" "$DIR/XmLink.dll"
        expect_message_box "transfer library without XMDeleteFile" "Error : Transfer DLL : Open" \
            "${title_fmt//%s/$model}"
    else
        e2e_fail "the stand-in XmLink.dll without XMDeleteFile was not built"
    fi
    unset E2E_WORKDIR
}

checks en
checks ja

# Japanese as the language of messages on a system whose code page is not the Japanese one: the
# Japanese texts would reach the program as question marks, so it shows its English ones.
printf '== Japanese messages with a Western code page\n'
LANG_TAG=ja-messages
e2e_language ja-messages
start_case warning
show_warning QL-S100
title_fmt="$(e2e_rc_text en IDS_TITLE_FMT)"
warn_fmt="$(e2e_rc_text en IDS_WARNING_TEXT)"
e2e_expect_line "warning caption in English" "$dump" "caption	${title_fmt//%s/QL-S100}"
e2e_expect_eq "warning text in English" "$(e2e_control_text "$dump" 1006)" "${warn_fmt//%s/QL-S100}"
e2e_expect_eq "warning dialog in English" "$(e2e_control_text "$dump" 1)" "&Start"
e2e_drive wait-dialog 5000 click 2 >/dev/null || e2e_fail "Cancel could not be pressed"
expect_end "Cancel ends the program"

# Started from a folder named in full-width letters, which the Western code page cannot hold,
# beside a ready folder of the same name in plain letters: the program must not take that
# folder's configuration and package for its own.
printf '== A folder name the code page cannot hold\n'
LANG_TAG=en
e2e_language en
start_case plain-twin
twin="$DIR"
mv "$twin" "$(dirname "$twin")/FW"
twin="$(dirname "$twin")/FW"
start_case full-width
rm -rf "$(dirname "$DIR")/ＦＷ"
mv "$DIR" "$(dirname "$DIR")/ＦＷ"
DIR="$(dirname "$DIR")/ＦＷ"
# Without its own path the program has no name for the caption either.
expect_message_box "full-width folder name" "Error : Data file is not found." ""
if [[ -s "$twin/simprinter.ini.log" ]]; then
    e2e_fail "the plain-named folder's printer was addressed: $(head -n1 "$twin/simprinter.ini.log")"
else
    e2e_pass "nothing was read or sent through the plain-named folder"
fi
rm -rf "$DIR" "$twin"
printf 'Screenshots: %s\n' "$E2E_ARTIFACTS/startup"
e2e_finish
