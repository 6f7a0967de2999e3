# shellcheck shell=bash
# Helpers for the end-to-end run of the driver information library. Source this file after
# lib.sh.
#
# The run uses a Wine prefix of its own (build/wine-prefix-infolib, or $E2E_INFOLIB_PREFIX): its
# printers and registry entries would change what the other runs see. A script sets the prefix
# before it sources lib.sh:
#   export WINEPREFIX="${E2E_INFOLIB_PREFIX:-<root>/build/wine-prefix-infolib}"

INFOLIB_DATA="$E2E_ROOT/tests/wine/data/infolib"
INFOLIB_PPD="$INFOLIB_DATA/labels.ppd"

# The printers of the prefix, one "printer name|driver name" per entry; @D1@ and @D2@ stand for
# the model's two driver names from the ready folder's configuration file.
INFOLIB_PRINTERS=(
    "Vantoro QL-S100|@D1@" # named like its driver: the printer-name search finds the library
    "Mix Label|@D1@"       # shares only "Mi" with the excluded "Mic": searched
    "Mic Label|@D1@"       # begins like the excluded row "Mic": never searched
    "HP Label|@D1@"        # begins like the excluded row "HP Sports" (three characters "HP ")
    "Alpha Label|@D2@"     # the second driver, which has no library
)

# The printers in the main dialog's (sorted) combo box: every one of them is listed.
# shellcheck disable=SC2034 # used by the scripts that source this file
INFOLIB_LISTED_SORTED=("Alpha Label" "HP Label" "Mic Label" "Mix Label" "Vantoro QL-S100")

# Printer names that have a level-4 key of their own pointing at the library, although the
# search must skip them for their first three characters.
INFOLIB_EXCLUDED=("Mic Label" "HP Label")

# Where the libraries live in the prefix (Windows and Unix paths). view64 is registered in the
# registry view the program must read, view32 in the other view only.
INFOLIB_WIN_DIR='C:\ulma-infolib'
infolib_dir() { printf '%s\n' "$WINEPREFIX/drive_c/ulma-infolib/$1"; }
infolib_log() { printf '%s\n' "$(infolib_dir "$1")/qvinfo.ini.log"; }

# The model's driver names: sets INFOLIB_D1 and INFOLIB_D2.
infolib_driver_names() {
    INFOLIB_D1="$(e2e_ini_value "$E2E_DIST/ulmaupdate.ini" DriverName)"
    INFOLIB_D2="$(e2e_ini_value "$E2E_DIST/ulmaupdate.ini" InboxDriverName)"
    [[ -n "$INFOLIB_D1" && -n "$INFOLIB_D2" ]] ||
        e2e_die "DriverName or InboxDriverName missing in $E2E_DIST/ulmaupdate.ini"
    [[ "${INFOLIB_D2,,}" != "$INFOLIB_D2" ]] ||
        e2e_die "InboxDriverName has no capital letter; its lower-case key would not differ"
}

# The stand-in library as built for the program the runs use (not part of the ready folder).
infolib_find_dll() {
    local f
    for f in "${QVINFO_DLL:-}" "$E2E_WINBUILD/standins/qvinfo.dll"; do
        if [[ -n "$f" && -f "$f" ]]; then
            INFOLIB_DLL="$f"
            return 0
        fi
    done
    e2e_die "qvinfo.dll not found; build it with: cmake --workflow --preset $E2E_PRESET"
}

# True when the prefix is a 64-bit one, where a 32-bit program has a registry view of its own.
infolib_prefix_is_64() { [[ -d "$WINEPREFIX/drive_c/windows/syswow64" ]]; }

# infolib_reg VIEW ARGS...: reg.exe in the given view (/reg:32 or /reg:64), quiet.
infolib_reg() {
    local view="$1"
    shift
    wine reg "$@" "$view" >/dev/null 2>&1 </dev/null
}

# Installs the printers and the registry entries once; a marker records what was installed.
#
# Which registry view: ulmaupdate.exe is a 32-bit program. In a 64-bit prefix it runs under
# WOW64, IsWow64Process answers true, and the program opens every key with KEY_WOW64_64KEY, so
# it reads the 64-bit view (HKLM\SOFTWARE itself), not the 32-bit one (HKLM\SOFTWARE\Wow6432Node)
# that a 32-bit program sees by default. The entries go into the 64-bit view; the driver's key
# also goes into the 32-bit view pointing at a second copy of the library with its own log, so
# the run shows which view the program really reads. A 32-bit prefix has one view only. (The
# x86_64 program, used where 32-bit programs cannot run, reads the 64-bit view as its own.)
infolib_install() {
    local marker="$WINEPREFIX/.ulma-infolib" wanted="" entry name driver
    local key="HKLM\\SOFTWARE\\$INFOLIB_VENDOR\\Q-varni\\Driver\\3.0"
    local main_view=/reg:64 dll64="$INFOLIB_WIN_DIR\\view64\\qvinfo.dll"
    infolib_prefix_is_64 || main_view=/reg:32
    for entry in "${INFOLIB_PRINTERS[@]}"; do
        entry="${entry//@D1@/$INFOLIB_D1}"
        wanted+="${entry//@D2@/$INFOLIB_D2}"$'\n'
    done
    # The level-4 keys: the model's driver, the printer named like it (the same key), the printer
    # sharing two characters with an excluded row, the excluded printers; the second driver only
    # in other letter case, which must not match.
    local keys=("$INFOLIB_D1" "Mix Label" "${INFOLIB_EXCLUDED[@]}" "${INFOLIB_D2,,}")
    wanted+="key=$key view=$main_view names=$(printf '%s;' "${keys[@]}")"$'\n'
    if [[ -f "$marker" && "$(cat "$marker")"$'\n' == "$wanted" ]]; then
        return 0
    fi
    e2e_log "Installing ${#INFOLIB_PRINTERS[@]} printers and the library's registry entries in $WINEPREFIX (once)"
    while IFS='|' read -r name driver; do
        [[ -n "$name" && "$name" != key=* ]] || continue
        e2e_install_printer "$name" "$driver" "$INFOLIB_PPD"
    done <<<"$wanted"

    local view
    for view in /reg:32 /reg:64; do
        infolib_reg "$view" delete "HKLM\\SOFTWARE\\$INFOLIB_VENDOR" /f || true
    done
    for name in "${keys[@]}"; do
        infolib_reg "$main_view" add "$key\\$name" /v "Info Dll" /t REG_SZ /d "$dll64" /f ||
            e2e_die "could not register the library for $name"
    done
    if infolib_prefix_is_64; then
        infolib_reg /reg:32 add "$key\\$INFOLIB_D1" /v "Info Dll" /t REG_SZ \
            /d "$INFOLIB_WIN_DIR\\view32\\qvinfo.dll" /f ||
            e2e_die "could not register the library in the 32-bit view"
    fi
    # (No wineserver -w here: the session's server is persistent; the program started next asks
    # the same server, which holds the new keys.)
    printf '%s' "$wanted" >"$marker"
}

# infolib_place_libraries DATA_FILE: fresh copies of the library in view64 and view32, view64
# answering from DATA_FILE; both logs emptied.
infolib_place_libraries() {
    local v
    for v in view64 view32; do
        mkdir -p "$(infolib_dir "$v")"
        cp "$INFOLIB_DLL" "$(infolib_dir "$v")/qvinfo.dll"
        rm -f "$(infolib_log "$v")"
    done
    cp "$1" "$(infolib_dir view64)/qvinfo.ini"
    cp "$INFOLIB_DATA/answers-decoy.ini" "$(infolib_dir view32)/qvinfo.ini"
}

# Everything the run needs after e2e_begin.
infolib_begin() {
    INFOLIB_VENDOR="$(e2e_rc_text en IDS_REGISTRY_KEY)"
    infolib_driver_names
    infolib_find_dll
    # The library must find its data beside itself, not in a file named by the environment.
    unset ULMA_QVINFO
    infolib_install
}

# infolib_answers FLAGS TAPES FEEDS COLORS ORIGIN OFFSET CAP276 MODEL: what the library's data
# answers to capabilities 269, 257, 270, 271, 274, 275, 276 and 278 (-1: not answered).
infolib_answers() {
    INFOLIB_ANSWER_FLAGS=$(($1)) INFOLIB_ANSWER_TAPES=$2 INFOLIB_ANSWER_FEEDS=$3
    INFOLIB_ANSWER_COLORS=$4 INFOLIB_ANSWER_ORIGIN=$5 INFOLIB_ANSWER_OFFSET=$6
    INFOLIB_ANSWER_CAP276=$7 INFOLIB_ANSWER_MODEL=$8
}

# infolib_call DEVICE PORT CAPABILITY OUTPUT DEVMODE ANSWER: one log line of the library.
infolib_call() {
    printf 'MyDeviceCapabilities device="%s" port="%s" capability=%s output=%s devmode=%s answer=%s\n' \
        "$@"
}

# The printer names of the library's tape-record calls, in order: the order in which the
# program queried the printers.
infolib_queried_printers() {
    sed -n 's/^MyDeviceCapabilities device="\(.*\)" port="[^"]*" capability=257 output=buffer .*/\1/p' \
        <<<"$1"
}

# infolib_expected PRINTER: the calls the program should make for one printer of the model's
# driver, with the answers of the current data (the INFOLIB_ANSWER_* variables):
#   the check of the printer name (only when it has a key and is not excluded), the check of the
#   driver name, then the capability queries in their order: driver flags, tape count, tape
#   records (printer name, only for a count above 0), feed count, feed records (likewise),
#   colours (only with flag 0x1000000), origin, offset, 276, model code.
infolib_expected() {
    local p="$1" d="$INFOLIB_D1" port=FILE: searched=0 x
    [[ "$p" == "$d" || "$p" == "Mix Label" ]] && searched=1
    for x in "${INFOLIB_EXCLUDED[@]}"; do [[ "$p" == "$x" ]] && searched=0; done
    local flags="$INFOLIB_ANSWER_FLAGS" tapes="$INFOLIB_ANSWER_TAPES" feeds="$INFOLIB_ANSWER_FEEDS"
    ((searched)) && infolib_call "$p" "" 269 null null "$flags"
    infolib_call "$d" "" 269 null null "$flags"
    infolib_call "$d" "$port" 269 null held "$flags"
    infolib_call "$d" "$port" 257 null held "$tapes"
    ((tapes > 0)) && infolib_call "$p" "$port" 257 buffer held "$tapes"
    infolib_call "$d" "$port" 270 null held "$feeds"
    ((feeds > 0)) && infolib_call "$p" "$port" 270 buffer held "$feeds"
    (((flags & 0x1000000) != 0)) && infolib_call "$d" "$port" 271 null held "$INFOLIB_ANSWER_COLORS"
    infolib_call "$d" "$port" 274 null held "$INFOLIB_ANSWER_ORIGIN"
    infolib_call "$d" "$port" 275 null held "$INFOLIB_ANSWER_OFFSET"
    infolib_call "$d" "$port" 276 null held "$INFOLIB_ANSWER_CAP276"
    infolib_call "$d" "$port" 278 null held "$INFOLIB_ANSWER_MODEL"
    return 0
}

# infolib_combo_items DUMP: the items of the printer combo box (1000), joined by "|".
infolib_combo_items() {
    awk -F'\t' '$1 == "item" && $2 == 1000 { printf "%s%s", sep, $4; sep = "|" }' <<<"$1"
    printf '\n'
}
