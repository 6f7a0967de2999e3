#!/usr/bin/env bash
# The driver information library under Wine, with the real ulmaupdate.exe. The stand-in library
# (qvinfo.dll, every call logged) is registered for the model's driver and for some printer
# names; printers of the model's driver have PPDs with four label sizes, one printer has the
# second driver, which has no library. From the library's call log the run shows that the
# program checks the library under the searched name with port "", then asks the ten
# capabilities in order with the driver or printer name each needs, that the colour capability
# is asked only when the driver flags announce it, that tape and feed records are not asked when
# there are none, that names beginning like an excluded row are never searched, that key names
# match only in exact letter case, that only the registry view the program should read is used,
# and that every printer is listed, with or without a library.
set -euo pipefail
ROOT_DIR="$(cd "$(dirname "$0")/../.." && pwd)"
export WINEPREFIX="${E2E_INFOLIB_PREFIX:-$ROOT_DIR/build/wine-prefix-infolib}"
# shellcheck source=tests/wine/lib.sh
source "$(dirname "$0")/lib.sh"
# shellcheck source=tests/wine/lib_infolib.sh
source "$(dirname "$0")/lib_infolib.sh"

e2e_need_dist
started=$SECONDS
e2e_begin
infolib_begin
ART="$E2E_ARTIFACTS/infolib"
mkdir -p "$ART"

# run_program NAME: starts the program, passes the warning, dumps the main dialog into $dump
# (the printers are queried while it opens), then exits through the Exit button.
run_program() {
    local dir
    dir="$(e2e_scratch "infolib-$1")"
    e2e_start "$dir/ulmaupdate.exe"
    dump="$(e2e_drive wait-dialog 20000 click 1 wait-next 20000 dump)" || true
    e2e_screenshot "infolib/$1-main"
    e2e_drive wait-dialog 5000 click 1004 >/dev/null || e2e_fail "Exit could not be pressed"
    e2e_wait_program 20 >/dev/null || e2e_fail "the program did not end after Exit"
}

# check_log DESCRIPTION LOG PRINTER...: the whole log equals the expected calls of the printers
# in the given order.
check_log() {
    local what="$1" log="$2" expected="" p
    shift 2
    for p in "$@"; do expected+="$(infolib_expected "$p")"$'\n'; done
    if [[ "$log"$'\n' == "$expected" ]]; then
        e2e_pass "$what"
    else
        e2e_fail "$what"
        diff <(printf '%s' "$expected") <(printf '%s\n' "$log") | sed 's/^/         /' || true
    fi
}

# The printers of the model's driver; Alpha Label (second driver, no library) is not among them.
library_printers=()
for entry in "${INFOLIB_PRINTERS[@]}"; do
    [[ "${entry#*|}" == "@D1@" ]] && library_printers+=("${entry%%|*}")
done

# Checks shared by both runs.
common_checks() {
    local log="$1" name
    e2e_expect_eq "every printer is listed, the one without a library too" \
        "$(infolib_combo_items "$dump")" "$(IFS='|'; echo "${INFOLIB_LISTED_SORTED[*]}")"
    for name in "${INFOLIB_EXCLUDED[@]}"; do
        e2e_expect_eq "$name (excluded beginning) is never searched, although it has a key" \
            "$(grep -F "device=\"$name\" port=\"\"" <<<"$log" || true)" ""
    done
    e2e_expect_eq "the second driver and its printer never reach the library (key in other case)" \
        "$(grep -F -e "device=\"$INFOLIB_D2\"" -e 'device="Alpha Label"' <<<"$log" || true)" ""
    if infolib_prefix_is_64; then
        e2e_expect_eq "the library registered only in the 32-bit view is never loaded" \
            "$([[ -e "$(infolib_log view32)" ]] && cat "$(infolib_log view32)")" ""
    fi
}

echo "== every capability answered, colour capability announced"
infolib_place_libraries "$INFOLIB_DATA/answers-full.ini"
run_program full
log="$(tr -d '\r' <"$(infolib_log view64)" 2>/dev/null || true)"
printf '%s\n' "$log" >"$ART/full-calls.txt"
mapfile -t order < <(infolib_queried_printers "$log")
e2e_expect_eq "each printer of the model's driver is queried once" \
    "$(printf '%s\n' "${order[@]}" | sort | paste -sd'|')" \
    "$(printf '%s\n' "${library_printers[@]}" | sort | paste -sd'|')"
# The answers of answers-full.ini: origin (3,5) and offset (2,1) packed low/high, model '1'.
infolib_answers 0x1040000 4 2 2 $(((5 << 16) | 3)) $(((1 << 16) | 2)) 1 49
check_log "checks, then the ten queries in order, with driver or printer names and port" \
    "$log" "${order[@]}"
e2e_expect_eq "a name sharing two characters with an excluded row is searched and checked" \
    "$(grep -cF 'device="Mix Label" port="" capability=269 output=null devmode=null' <<<"$log")" 1
common_checks "$log"

echo "== library without special tape, colours or records; nothing else answered"
infolib_place_libraries "$INFOLIB_DATA/answers-sparse.ini"
run_program sparse
log="$(tr -d '\r' <"$(infolib_log view64)" 2>/dev/null || true)"
printf '%s\n' "$log" >"$ART/sparse-calls.txt"
infolib_answers 0x20000 0 -1 -1 -1 -1 -1 -1
# The printers keep the spooler's order of the first run.
check_log "a failed check still queries; no colours, no record calls without records" \
    "$log" "${order[@]}"
common_checks "$log"

printf 'Library call logs: %s; run time %d s\n' "$ART" $((SECONDS - started))
e2e_finish
