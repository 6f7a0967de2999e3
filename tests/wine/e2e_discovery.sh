#!/usr/bin/env bash
# Printer discovery through the real print spooler under Wine. Printers are installed in a prefix
# of these runs under the model's driver name, the second driver name, the driver name in other
# letter case and another driver, plus special-tape queue names. discoverycheck.exe runs the
# tool's own discovery with every spooler and GDI call logged: it shows which printers are
# accepted, in the spooler's order, that printers of other drivers are never opened or queried,
# and that a special-tape queue addresses the queue without the suffix. The real ulmaupdate.exe
# then lists exactly the printers the check accepted.
set -euo pipefail
ROOT_DIR="$(cd "$(dirname "$0")/../.." && pwd)"
export WINEPREFIX="${E2E_PRINTERS_PREFIX:-$ROOT_DIR/build/wine-prefix-printers}"
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/lib_printers.sh"

e2e_need_dist
e2e_begin
printers_begin
D1="$PRINTERS_D1"
D2="$PRINTERS_D2"

echo "== discovery with the model's two driver names"
out="$(printers_discovery "$D1" "$D2" --again)" || e2e_fail "discoverycheck failed: $out"
printf '%s\n' "$out" >"$E2E_ARTIFACTS/discovery-calls.txt"

installed="$(awk -F'\t' '$1 == "installed" { print $3 "|" $4 }' <<<"$out")"
e2e_expect_line "the spooler keeps the driver name in other letter case" "$installed" \
    "Case Printer|${D1,,}"

# The accepted printers in the spooler's order (not the combo's order).
expected=()
while IFS='|' read -r name _; do
    for a in "${PRINTERS_ACCEPTED_SORTED[@]}"; do
        [[ "$name" == "$a" ]] && expected+=("$name")
    done
done <<<"$installed"
mapfile -t listed < <(printers_field "$out" listed 3)
e2e_expect_eq "accepted printers, in the spooler's order" "$(printers_join '|' "${listed[@]}")" \
    "$(printers_join '|' "${expected[@]}")"
e2e_expect_eq "five printers listed" "${#expected[@]}" 5
e2e_expect_eq "result of both enumerations" "$(printers_field "$out" result 2 | paste -sd' ')" "1 1"

for name in "${PRINTERS_OTHER_DRIVERS[@]}"; do
    calls="$(printers_calls_naming "$out" "$name")"
    if [[ -z "$calls" ]]; then
        e2e_pass "$name (another driver) is never opened or queried"
    else
        e2e_fail "$name (another driver) was addressed:"
        sed 's/^/         /' <<<"$calls"
    fi
done

# One size query, one fill of exactly the size asked for, per enumeration.
enums="$(awk -F'\t' '$1 == "call" && $2 == "EnumPrinters" { print $3 " " $4 " " $5 }' <<<"$out")"
needed="$(head -n1 <<<"$enums" | cut -d' ' -f3)"
e2e_expect_eq "EnumPrinters: size query, then the fill with the size asked for (twice)" \
    "$(paste -sd';' <<<"$enums")" "0 0 $needed;$needed 1 $needed;0 0 $needed;$needed 1 $needed"

# The second enumeration finds every listed printer in the list and opens none of them again;
# only the special-tape queue that could not be built is tried once more.
e2e_expect_eq "the second enumeration opens no listed printer again" \
    "$(printers_calls "$out" 1 | grep -v '^EnumPrinters' | cut -f1-3)" "OpenPrinter	Ghost	0"

# Special-tape names address the queue without the suffix.
tape_calls=""
for n in "Zeta Shipping(Special Tape)" "${PRINTERS_NOT_LISTED[@]}"; do
    tape_calls+="$(printers_calls_naming "$out" "$n")"
done
e2e_expect_eq "no call addresses a queue by its special-tape name" "$tape_calls" ""
e2e_expect_eq "both Zeta Shipping queues read the printer record of Zeta Shipping" \
    "$(printers_calls "$out" 0 | grep -c $'^GetPrinter\tZeta Shipping\t[1-9][0-9]*\t1$')" 2
e2e_expect_line "Ghost(Special Tape) tries Ghost, which does not exist" \
    "$(printers_calls "$out" | grep '^OpenPrinter' | cut -f2-3)" "Ghost	0"
for name in "${expected[@]}"; do
    e2e_expect_eq "$name is opened, its settings read and its driver asked for DC_FIELDS" \
        "$(printers_call_kinds "$out" "${name%(Special Tape)}")" \
        "DeviceCapabilities DocumentProperties GetPrinter OpenPrinter"
done

echo "== one driver name given twice"
out="$(printers_discovery "$D1" "$D1")" || true
e2e_expect_eq "the printers of the first driver, each once" \
    "$(printers_field "$out" listed 3 | sort | paste -sd'|')" \
    "Vantoro QL-S100|Zeta Shipping|Zeta Shipping(Special Tape)"

echo "== the driver name in other letter case"
out="$(printers_discovery "${D1,,}" "${D2,,}")" || true
e2e_expect_eq "only the printer of exactly that driver name" \
    "$(printers_field "$out" listed 3 | paste -sd'|')" "Case Printer"

echo "== no installed printer has the driver"
out="$(printers_discovery "No Such Driver" "")" || true
e2e_expect_eq "result 0, empty list" \
    "$(printers_field "$out" result 2) $(printers_field "$out" count 2)" "0 0"
e2e_expect_eq "no printer opened" "$(printers_calls "$out" | grep '^OpenPrinter' || true)" ""

echo "== the real program lists the same printers"
# The program runs with Wine's spooler trace: a second witness, from inside Wine, that the
# printers of other drivers are not opened. (The trace also holds Wine's own calls, so it
# backs the logged run above rather than replacing it.)
DIR="$(e2e_scratch discovery-program)"
TRACE="$E2E_ARTIFACTS/discovery-program-winspool.txt"
E2E_PROGRAM_NAME=ulmaupdate.exe
E2E_PROGRAM_STATUS_FILE="$E2E_BUILD/.program-status.$$"
rm -f "$E2E_PROGRAM_STATUS_FILE"
(
    rc=0
    cd "$DIR" && WINEDEBUG=trace+winspool wine ./ulmaupdate.exe >/dev/null 2>"$TRACE" </dev/null ||
        rc=$?
    echo "$rc" >"$E2E_PROGRAM_STATUS_FILE"
) &
E2E_PROGRAM_PID=$!
dump="$(e2e_drive wait-dialog 20000 click 1 wait-next 20000 dump)" || true
e2e_screenshot discovery/program-main
e2e_expect_eq "the main dialog lists the accepted printers" "$(printers_combo_items "$dump")" \
    "$(printers_join '|' "${PRINTERS_ACCEPTED_SORTED[@]}")"
e2e_drive wait-dialog 5000 click 1004 >/dev/null || e2e_fail "Exit could not be pressed"
e2e_wait_program 20 >/dev/null || e2e_fail "the program did not end after Exit"
opened="$(grep -E 'trace:winspool:(OpenPrinter|DocumentProperties|DeviceCapabilities)' "$TRACE" |
    tr -d '\r' || true)"
e2e_expect_line "the trace shows the model's printer opened" \
    "$(grep -o 'OpenPrinter2A ("[^"]*"' <<<"$opened" | sort -u)" 'OpenPrinter2A ("Vantoro QL-S100"'
for name in "${PRINTERS_OTHER_DRIVERS[@]}"; do
    e2e_expect_eq "the trace shows no call to $name" \
        "$(grep -F "\"$name\"" <<<"$opened" || true)" ""
done

printf 'Spooler calls: %s\n' "$E2E_ARTIFACTS/discovery-calls.txt"
e2e_finish
