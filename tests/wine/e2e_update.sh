#!/usr/bin/env bash
# A whole update with the real ulmaupdate.exe under Wine, in English and in Japanese: warning,
# main dialog with the installed printer, confirmation with both versions, progress, device
# busy, completion; afterwards the simulated printer holds exactly the package bytes and reports
# the new version; the English run is started from another working folder. Asked whether the
# session may end, the program refuses only from the transfer to the end of the busy wait.
# Screenshots of every window go to build/e2e-artifacts/update/.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/lib_update.sh"

e2e_need_dist
e2e_begin

# next_window PREVIOUS_HWND: the next dialog the user would see, in $UPD_DUMP and $UPD_HWND.
# The printer's wait after the transfer alone takes about ten seconds, and a machine busy with
# other runs has been seen to take more than thirty.
next_window() { upd_next "$1" 60000; }

update() {
    local lang="$1" title model driver printer old new
    e2e_language "$lang"
    printf '== %s\n' "$([[ $lang == en ]] && echo English || echo Japanese)"
    # The program's folder has a blank in its name, and in Japanese also characters whose second
    # byte in the Japanese code page is a backslash.
    if [[ $lang == en ]]; then
        DIR="$(e2e_scratch "update en")"
    else
        DIR="$(e2e_scratch "更新ソフト 表")"
    fi
    model="$(e2e_ini_value "$DIR/ulmaupdate.ini" MachineName)"
    driver="$(e2e_ini_value "$DIR/ulmaupdate.ini" DriverName)"
    new="$(e2e_ini_value "$DIR/ulmaupdate.ini" NewVersion)"
    printer="$(e2e_ini_value "$DIR/simprinter.ini" printer)"
    old="$(e2e_ini_value "$DIR/simprinter.ini" version)$(e2e_ini_value "$DIR/simprinter.ini" sysinfo)"
    title="$(e2e_format "$(e2e_rc_text "$lang" IDS_TITLE_FMT)" "$model")"
    e2e_install_printer "$printer" "$driver"

    # The English run starts the program from another working folder, which holds a
    # configuration for another model and longer packages: only the files beside it count.
    if [[ $lang == en ]]; then
        E2E_WORKDIR="$(e2e_scratch "update-$lang-workdir")"
        sed -i 's/^MachineName=.*/MachineName=OTHER-1/' "$E2E_WORKDIR/ulmaupdate.ini"
        for f in "$E2E_WORKDIR"/*.bin; do printf 'other' >>"$f"; done
    fi
    e2e_start "$DIR/ulmaupdate.exe"
    unset E2E_WORKDIR
    UPD_HWND=0x0
    next_window "$UPD_HWND"
    e2e_screenshot "update/$lang-1-warning"
    upd_has_control "$UPD_DUMP" 1006 && e2e_pass "warning" || e2e_fail "warning not shown: $UPD_DUMP"
    e2e_drive use "$UPD_HWND" click 1 >/dev/null || true

    next_window "$UPD_HWND"
    e2e_screenshot "update/$lang-2-main"
    e2e_expect_line "main dialog caption" "$UPD_DUMP" "caption	$title"
    upd_has_control "$UPD_DUMP" 1001 || e2e_fail "the main dialog did not follow the warning"
    e2e_expect_eq "the installed printer is listed and chosen" \
        "$(awk -F'\t' '$1 == "item" || $1 == "selected" { printf "%s;", $NF }' <<<"$UPD_DUMP")" \
        "$printer;0;"
    local main="$UPD_HWND"
    # Asked as Windows asks before a shutdown: the waiting program lets the session end...
    e2e_expect_eq "the main dialog lets the session end" \
        "$(e2e_drive use "$main" end-session || true)" "end-session	1"
    e2e_drive use "$main" click 1001 >/dev/null || true

    next_window "$main"
    e2e_screenshot "update/$lang-3-confirm"
    e2e_expect_line "confirmation with both versions" "$UPD_DUMP" \
        "message	$(e2e_format "$(e2e_rc_text "$lang" IDS_CONFIRM_UPDATE)" "$old" "$new" "$model")"
    e2e_drive use "$UPD_HWND" click 6 >/dev/null || true

    next_window "$UPD_HWND"
    # ...but not while a package goes to the printer, nor while the printer takes it in (the
    # progress dialog stays, hidden, behind the device-busy window).
    local progress="$UPD_HWND"
    e2e_expect_eq "the session may not end during the transfer" \
        "$(e2e_drive use "$progress" end-session || true)" "end-session	0"
    e2e_screenshot "update/$lang-4-progress"
    if upd_has_control "$UPD_DUMP" 2310; then
        e2e_expect_line "progress dialog caption" "$UPD_DUMP" "caption	$title"
        e2e_expect_eq "progress text" "$(e2e_control_text "$UPD_DUMP" 2311)" \
            "$(e2e_rc_text "$lang" IDS_TRANSFERRING)"
        next_window "$UPD_HWND"
    else
        e2e_fail "no progress dialog: $UPD_DUMP"
    fi

    e2e_expect_eq "the session may not end while the printer takes the firmware in" \
        "$(e2e_drive use "$progress" end-session || true)" "end-session	0"
    e2e_screenshot "update/$lang-5-device-busy"
    e2e_expect_eq "device-busy text" "$(e2e_control_text "$UPD_DUMP" 2510)" \
        "$(e2e_rc_text "$lang" IDC_DEVPROG_TEXT)"
    e2e_expect_line "device-busy caption" "$UPD_DUMP" "caption	$title"

    next_window "$UPD_HWND"
    e2e_screenshot "update/$lang-6-completed"
    e2e_expect_line "completion message" "$UPD_DUMP" \
        "message	$(e2e_format "$(e2e_rc_text "$lang" IDS_COMPLETED)" "$model")"
    e2e_drive use "$UPD_HWND" click 1 >/dev/null || true
    e2e_wait_program 20 >/dev/null && e2e_pass "the program ends after the update" ||
        e2e_fail "the program is still running after the update"

    # What reached the printer: each package's header and data (the length stands at offset 16
    # of the header), not the bytes after the data.
    local n=1 key pkg len
    for key in KF7FileName KF7FileName2; do
        pkg="$DIR/$(e2e_ini_value "$DIR/ulmaupdate.ini" $key)"
        len=$(($(od -An -tu4 -j16 -N4 "$pkg") + 64))
        if [[ -f "$DIR/simprinter.ini.recv$n.bin" ]] &&
            cmp -s "$DIR/simprinter.ini.recv$n.bin" <(head -c "$len" "$pkg"); then
            e2e_pass "package $n received: $len bytes of $(basename "$pkg")"
        else
            e2e_fail "package $n not received as the first $len bytes of $(basename "$pkg")"
        fi
        n=$((n + 1))
    done
    e2e_expect_eq "printer reports the new version" "$(e2e_ini_value "$DIR/simprinter.ini" version)" "$new"
}

update en
update ja
printf 'Screenshots: %s\n' "$E2E_ARTIFACTS/update"
e2e_finish
