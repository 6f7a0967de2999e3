# shellcheck shell=bash
# Helpers for the end-to-end runs of the Update command. Source this file after lib.sh.
#
# A run works in a scratch copy of the ready folder ($UPD_DIR): the stand-in DLLs there read
# their state from simprinter.ini before every call and append every call to simprinter.ini.log,
# so a script can change the simulated printer between two presses of Update and check what
# reached it after each.

# upd_state KEY=VALUE...: sets keys of the simulated printer's state (replacing earlier lines
# of the same key). The file is replaced whole, so a call of the program never reads half of it.
upd_state() {
    local file="$UPD_DIR/simprinter.ini" kv tmp
    tmp="$file.tmp.$$"
    cp "$file" "$tmp"
    for kv in "$@"; do
        local key="${kv%%=*}"
        grep -v "^$key=" "$tmp" >"$tmp.2" || true
        printf '%s\n' "$kv" >>"$tmp.2"
        mv -f "$tmp.2" "$tmp"
    done
    mv -f "$tmp" "$file"
}

# upd_log_mark: the number of calls the simulated printer has logged so far.
upd_log_mark() {
    if [[ -f "$UPD_DIR/simprinter.ini.log" ]]; then
        wc -l <"$UPD_DIR/simprinter.ini.log" | tr -d ' '
    else
        echo 0
    fi
}

# upd_calls_since MARK: the calls logged after MARK on one line, each as its name, with the
# command bytes of a raw write (QVWriteFile:1B696101) and the length and result of a package
# send (XMSendFile:6000:0).
upd_calls_since() {
    [[ -f "$UPD_DIR/simprinter.ini.log" ]] || return 0
    tail -n +"$(($1 + 1))" "$UPD_DIR/simprinter.ini.log" | awk '
        function field(name,   s) {
            if (!match($0, " " name "=-?[0-9A-Fa-f]+")) return "?"
            s = substr($0, RSTART + length(name) + 2, RLENGTH - length(name) - 2)
            return s
        }
        {
            op = $1
            if (op == "QVWriteFile") op = op ":" field("data")
            else if (op == "XMSendFile") op = op ":" field("length") ":" field("result")
            printf "%s%s", sep, op
            sep = " "
        }
        END { print "" }'
}

# The calls of one press of Update up to the confirmation: printer selection, status check,
# preamble, information request and the read of the reply.
# shellcheck disable=SC2034 # used by the scripts that source this file
UPD_QUERY_CALLS="XMCheckSupportPrinter XMInitPrinter XMCmdInit XMCmdInit XMGetStatus QVWriteFile:1B696101 QVWriteFile:1B695853 QVReadFile"

# upd_wait_log PATTERN SECONDS: waits until a logged call matches the extended PATTERN.
upd_wait_log() {
    local tries=$(($2 * 10))
    while ((tries-- > 0)); do
        grep -Eq -- "$1" "$UPD_DIR/simprinter.ini.log" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# upd_has_control DUMP ID
upd_has_control() {
    awk -F'\t' -v id="$2" '$1 == "control" && $2 == id { f = 1 } END { exit !f }' <<<"$1"
}

# upd_message DUMP: the text of a dumped message box (empty for any other window).
upd_message() { awk -F'\t' '$1 == "message" { print $2; exit }' <<<"$1"; }

# upd_control_state DUMP ID: "enabled=E visible=V" of a control.
upd_control_state() {
    awk -F'\t' -v id="$2" '$1 == "control" && $2 == id { printf "enabled=%s visible=%s\n", $4, $5; exit }' <<<"$1"
}

# upd_window DUMP: the handle of the dumped window.
upd_window() { awk -F'\t' '$1 == "window" { print $2; exit }' <<<"$1"; }

# upd_next PREVIOUS_HWND [MS]: waits for the next dialog the user would see; its dump in
# $UPD_DUMP, its handle in $UPD_HWND (0x0 when none came).
upd_next() {
    UPD_DUMP="$(e2e_drive use "$1" wait-next "${2:-30000}" dump)" || true
    UPD_HWND="$(upd_window "$UPD_DUMP")"
    UPD_HWND="${UPD_HWND:-0x0}"
}

# upd_dump HWND: a fresh dump of a window into $UPD_DUMP.
upd_dump() { UPD_DUMP="$(e2e_drive use "$1" dump)" || true; }

# upd_visible HWND: the window is one of the program's visible top-level windows.
upd_visible() { e2e_drive list | awk -F'\t' -v h="$1" '$2 == h { f = 1 } END { exit !f }'; }

# upd_icon SCREENSHOT: the kind of message-box icon on the screen, told by its colours: "error"
# (red, no yellow), "warning" (the yellow-orange triangle) or "other" (the blue information and
# question icons, or none). The program's other windows use neither red nor yellow.
upd_icon() {
    local red yellow
    red="$(upd_colour_pixels "$1" '#e02020')"
    yellow="$(upd_colour_pixels "$1" '#f0d000')"
    if ((yellow > 50)); then
        echo warning
    elif ((red > 50)); then
        echo error
    else
        echo other
    fi
}

# upd_colour_pixels IMAGE COLOUR: how many pixels lie within 25 % of COLOUR.
upd_colour_pixels() {
    /usr/bin/convert "$1" -fuzz 25% -fill black +opaque "$2" -fill white -opaque "$2" \
        -format '%[fx:round(mean*w*h)]' info: 2>/dev/null || echo 0
}
