# Helpers for the end-to-end runs of printer discovery and the main dialog. Source this file
# after lib.sh.
#
# These runs use a Wine prefix of their own (build/wine-prefix-printers, or $E2E_PRINTERS_PREFIX),
# holding several printers: the other end-to-end runs expect the model's printer to be the only
# one installed. A script sets the prefix before it sources lib.sh:
#   export WINEPREFIX="$(printers_prefix_path)"   (or the same expression inline)

# The printers of the prefix, one "printer name|driver name" per entry. The model's two driver
# names come from the ready folder's configuration file; @D1@ and @D2@ stand for them.
PRINTERS_SET=(
    "Vantoro QL-S100|@D1@"                # named like the model's driver: preselected
    "Zeta Shipping|@D1@"                  # a second queue of the same driver
    "Zeta Shipping(Special Tape)|@D1@"    # special-tape name of the queue above
    "Ghost(Special Tape)|@D1@"            # special-tape name of a queue that does not exist
    "Alpha Label|@D2@"                    # the second driver name
    "~Spare Label|@D2@"                   # sorts first in the list, last in the spooler
    "Case Printer|@D1LOWER@"              # the driver name in other letter case
    "Office Laser|Generic Office Laser"   # another driver altogether
    "Office Laser(Special Tape)|@D1@"     # special-tape name of the other driver's queue
)

# The printers that discovery accepts, in the combo box's (alphabetical) order.
PRINTERS_ACCEPTED_SORTED=(
    "~Spare Label"
    "Alpha Label"
    "Vantoro QL-S100"
    "Zeta Shipping"
    "Zeta Shipping(Special Tape)"
)

# Printers whose driver is not the model's: discovery must never address them, not even through
# a special-tape name of the model's driver.
PRINTERS_OTHER_DRIVERS=("Case Printer" "Office Laser")

# Queues of the model's driver that are not listed: their special-tape name addresses a queue
# that does not exist, or one of another driver.
PRINTERS_NOT_LISTED=("Ghost(Special Tape)" "Office Laser(Special Tape)")

# printers_set_ini FILE KEY VALUE: replaces the value of KEY (which must be there).
printers_set_ini() {
    local file="$1" key="$2" value="$3"
    value="${value//\\/\\\\}"
    value="${value//|/\\|}"
    value="${value//&/\\&}"
    sed -i "s|^$key=.*|$key=$value|" "$file"
}

# The model's driver names, from the ready folder: sets PRINTERS_D1 and PRINTERS_D2.
printers_driver_names() {
    PRINTERS_D1="$(e2e_ini_value "$E2E_DIST/ulmaupdate.ini" DriverName)"
    PRINTERS_D2="$(e2e_ini_value "$E2E_DIST/ulmaupdate.ini" InboxDriverName)"
    [[ -n "$PRINTERS_D1" && -n "$PRINTERS_D2" ]] ||
        e2e_die "DriverName or InboxDriverName missing in $E2E_DIST/ulmaupdate.ini"
    [[ "${PRINTERS_D1,,}" != "$PRINTERS_D1" ]] ||
        e2e_die "DriverName has no capital letter; the letter-case printer would not differ"
}

# Finds discoverycheck.exe and postmessage.exe (beside ulmadrive.exe or in another build of the
# tools): sets DISCOVERYCHECK and POSTMESSAGE.
printers_find_tools() {
    local d
    for d in "${DISCOVERYCHECK_DIR:-}" "$E2E_TOOLS" "$E2E_WINBUILD/tools" \
        "$E2E_BUILD/h11-w32/tools"; do
        if [[ -n "$d" && -f "$d/discoverycheck.exe" && -f "$d/postmessage.exe" ]]; then
            DISCOVERYCHECK="$d/discoverycheck.exe"
            POSTMESSAGE="$d/postmessage.exe"
            return 0
        fi
    done
    e2e_die "discoverycheck.exe not found; build it with: cmake --workflow --preset $E2E_PRESET"
}

# Installs the printer set in the prefix once; a marker in the prefix records what was installed.
printers_install() {
    local marker="$WINEPREFIX/.ulma-printers" wanted="" entry name driver
    for entry in "${PRINTERS_SET[@]}"; do
        entry="${entry//@D1@/$PRINTERS_D1}"
        entry="${entry//@D2@/$PRINTERS_D2}"
        entry="${entry//@D1LOWER@/${PRINTERS_D1,,}}"
        wanted+="$entry"$'\n'
    done
    # The registry reaches the prefix's files only when the session ends: a printer missing
    # from them (a run that was killed) is installed again.
    local saved=1
    while IFS='|' read -r name driver; do
        [[ -z "$name" ]] || grep -Fq '\\Printers\\'"$name]" "$WINEPREFIX/system.reg" || saved=0
    done <<<"$wanted"
    if [[ $saved == 1 && -f "$marker" && "$(cat "$marker")"$'\n' == "$wanted" ]]; then
        return 0
    fi
    e2e_log "Installing ${#PRINTERS_SET[@]} printers in $WINEPREFIX (once)"
    while IFS='|' read -r name driver; do
        [[ -n "$name" ]] || continue
        e2e_install_printer "$name" "$driver"
    done <<<"$wanted"
    printf '%s' "$wanted" >"$marker"
}

# Everything the printer runs need after e2e_begin: driver names, tools, installed printers.
printers_begin() {
    printers_driver_names
    printers_find_tools
    printers_install
}

# printers_discovery D1 D2 [--again]: the output of discoverycheck.exe (tabs, no CRs).
printers_discovery() {
    local out="$E2E_BUILD/.discovery-output.$$" rc=0
    wine "$DISCOVERYCHECK" "$@" >"$out" 2>&1 </dev/null || rc=$?
    tr -d '\r' <"$out"
    rm -f "$out"
    return $rc
}

# printers_field OUTPUT RECORD FIELD: field FIELD of every line whose first field is RECORD.
printers_field() {
    awk -F'\t' -v r="$2" -v f="$3" '$1 == r { print $f }' <<<"$1"
}

# printers_calls OUTPUT [RUN]: the logged calls without their "call" field; only those of
# enumeration RUN (0 for the first) when it is given.
printers_calls() {
    awk -F'\t' -v run="${2:-}" '
        $1 == "result" { n++ }
        $1 == "call" && (run == "" || n == run) { sub(/^call\t/, ""); print }' <<<"$1"
}

# printers_call_kinds OUTPUT NAME: the kinds of call (OpenPrinter, GetPrinter, ...) that address
# printer NAME, sorted, on one line; information contexts left out.
printers_call_kinds() {
    printers_calls "$1" | awk -F'\t' -v n="$2" '$2 == n && $1 != "CreateIC" { print $1 }' |
        sort -u | paste -sd' '
}

# printers_calls_naming OUTPUT NAME: the logged calls that address printer NAME (by printer or
# device name).
printers_calls_naming() {
    awk -F'\t' -v n="$2" '$1 == "call" && ($3 == n || ($2 == "DocumentProperties" && $4 == n))' \
        <<<"$1"
}

# printers_join SEP ITEM...: the items joined by SEP.
printers_join() {
    local sep="$1" out="" first=1 item
    shift
    for item in "$@"; do
        if ((first)); then out="$item"; else out+="$sep$item"; fi
        first=0
    done
    printf '%s\n' "$out"
}

# printers_combo_items DUMP: the items of combo box 1000, joined by "|".
printers_combo_items() {
    awk -F'\t' '$1 == "item" && $2 == 1000 { printf "%s%s", sep, $4; sep = "|" }' <<<"$1"
    printf '\n'
}

# printers_combo_selected DUMP: the selected index of combo box 1000.
printers_combo_selected() {
    awk -F'\t' '$1 == "selected" && $2 == 1000 { print $3; exit }' <<<"$1"
}

# printers_control_state DUMP ID: "enabled visible" of the control (e.g. "1 1").
printers_control_state() {
    awk -F'\t' -v id="$2" '$1 == "control" && $2 == id { print $4 " " $5; exit }' <<<"$1"
}

# printers_window DUMP: the window handle of a dump.
printers_window() {
    awk -F'\t' '$1 == "window" { print $2; exit }' <<<"$1"
}

# printers_rc_caption LANG DIALOG_NAME: the CAPTION of a dialog template in res/LANG.rc.
printers_rc_caption() {
    awk -v d="$2" '
        $1 == d && $2 ~ /^DIALOG/ { inside = 1; next }
        inside && $1 == "CAPTION" { sub(/^[^"]*"/, ""); sub(/"[^"]*$/, ""); print; exit }
        inside && $1 == "BEGIN" { exit }' "$E2E_ROOT/res/$1.rc"
}

# printers_post_syscommand HWND ID: a system-menu command posted to the window, as the menu sends
# it.
printers_post_syscommand() {
    wine "$POSTMESSAGE" "$1" 0x0112 "$2" 0 >/dev/null 2>&1 </dev/null
}

# printers_open_list TITLE: opens the drop-down list of the main dialog with the real keyboard
# (Tab, Tab to the printer choice, F4), for a screenshot. 1 when the window or xdotool is
# missing.
printers_open_list() {
    command -v xdotool >/dev/null || return 1
    local pattern window
    pattern="^$(sed 's/[][\\.^$*+?(){}|]/\\&/g' <<<"$1")\$"
    window="$(xdotool search --name "$pattern" 2>/dev/null | head -n1)"
    [[ -n "$window" ]] || return 1
    xdotool windowfocus --sync "$window" 2>/dev/null || return 1
    xdotool key --window "$window" Tab Tab F4 2>/dev/null
}

# printers_close_list HWND: closes the drop-down list of combo box 1000 of that dialog (nothing
# happens when it is not open).
printers_close_list() {
    wine "$POSTMESSAGE" "$1:1000" 0x014F 0 0 >/dev/null 2>&1 </dev/null
}
