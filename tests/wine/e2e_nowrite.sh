#!/usr/bin/env bash
# The tool writes nothing: a complete update with the real ulmaupdate.exe under Wine leaves every
# file of its folder and every registry value of the Wine prefix as they were.
#
# The simulated printer keeps its state, log and received bytes outside the tool's folder
# (ULMA_SIMPRINTER), so the folder holds only what a user would ship. The registry is read from
# the prefix's files, which the Wine server writes when it stops. Wine itself rewrites some keys on
# every run of any program (their time stamps, and values such as the spooler's view of the
# printers): a minimal dialog program is run twice first, and what changes between its two runs is
# that noise. A change by the tool's run that the minimal program also makes is not counted; any
# other change fails the test.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

e2e_need_dist
e2e_begin
MINIMAL="$(e2e_minimal_program)"

has_control() { awk -F'\t' -v id="$2" '$1 == "control" && $2 == id { f = 1 } END { exit !f }' <<<"$1"; }

DIR="$(e2e_scratch nowrite)"
SIMDIR="$E2E_BUILD/e2e-run/nowrite-printer"
rm -rf "$SIMDIR"
mkdir -p "$SIMDIR"
mv "$DIR/simprinter.ini" "$SIMDIR/simprinter.ini"
ULMA_SIMPRINTER="$(winepath -w "$SIMDIR/simprinter.ini" 2>/dev/null)"
export ULMA_SIMPRINTER
SNAP="$E2E_BUILD/e2e-run/nowrite-snapshots"
rm -rf "$SNAP"
mkdir -p "$SNAP"
e2e_install_configured_printer "$SIMDIR/simprinter.ini" "$DIR/ulmaupdate.ini"

# snapshot NAME: stops the Wine server (which writes the registry files), then keeps the registry
# without Wine's time stamps, one "[key] value" line per value, and a hash of every file of the
# tool's folder.
snapshot() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    local reg
    for reg in system user userdef; do
        awk -v hive="$reg" '
            # A long value goes on over lines that end with a backslash.
            pending != "" { sub(/^ +/, ""); $0 = pending $0; pending = "" }
            /\\$/ { pending = substr($0, 1, length($0) - 1); next }
            /^\[/ { key = $0; sub(/\] [0-9]+$/, "]", key); next }
            /^#time=/ || /^#arch=/ || /^;;/ || /^WINE REGISTRY/ || /^$/ { next }
            key != "" { print hive " " key " " $0 }' "$WINEPREFIX/$reg.reg"
    done | sort >"$SNAP/$1.reg"
    (cd "$DIR" && find . -type f -print0 | sort -z | xargs -0 sha256sum) >"$SNAP/$1.files"
}

# changes A B: the registry lines that differ between two snapshots, each with + or -.
changes() {
    diff "$SNAP/$1.reg" "$SNAP/$2.reg" | sed -n 's/^< /- /p; s/^> /+ /p' | sort -u || true
}

# value_names: the "hive [key] name" of each changed line (its data left out), once each.
value_names() {
    sed -E 's/^[-+] //; s/^([^[]*\[.*\] (@|"([^"\\]|\\.)*"))=.*/\1/' | sort -u
}

# The minimal program: shows its dialog, which is closed at once.
run_minimal() {
    e2e_start "$MINIMAL"
    e2e_drive wait-title "Minimal Dialog" 30000 click 1 wait-exit 10000 >/dev/null ||
        e2e_fail "the minimal dialog program did not show its dialog"
    e2e_wait_program 10 >/dev/null || true
}

printf '== what Wine changes for any program\n'
snapshot before-minimal
run_minimal
snapshot after-minimal-1
run_minimal
snapshot after-minimal-2
{
    changes before-minimal after-minimal-1
    changes after-minimal-1 after-minimal-2
} | value_names >"$SNAP/noise.txt"
printf '  %d registry values change without the tool (%s)\n' "$(wc -l <"$SNAP/noise.txt")" \
    "$SNAP/noise.txt"

printf '== a complete update\n'
snapshot before
e2e_start "$DIR/ulmaupdate.exe"
dump="$(e2e_drive wait-dialog 30000 dump)" || true
hwnd="$(awk -F'\t' '$1 == "window" { print $2; exit }' <<<"$dump")"
e2e_drive use "${hwnd:-0x0}" click 1 >/dev/null || true
# Main dialog, confirmation, progress, device busy, completion: press the button each one asks
# for until the program ends.
done_seen=0
for _ in 1 2 3 4 5 6 7 8; do
    dump="$(e2e_drive use "${hwnd:-0x0}" wait-next 30000 dump)" || break
    hwnd="$(awk -F'\t' '$1 == "window" { print $2; exit }' <<<"$dump")"
    if has_control "$dump" 1001; then
        e2e_drive use "$hwnd" click 1001 >/dev/null || true
    elif has_control "$dump" 6; then
        e2e_drive use "$hwnd" click 6 >/dev/null || true
    elif grep -q '^message' <<<"$dump"; then
        grep -Fxq "message	$(e2e_format "$(e2e_rc_text en IDS_COMPLETED)" \
            "$(e2e_ini_value "$DIR/ulmaupdate.ini" MachineName)")" <<<"$dump" && done_seen=1
        e2e_drive use "$hwnd" click 1 >/dev/null || true
        break
    fi
done
[[ $done_seen == 1 ]] && e2e_pass "the update completed" || e2e_fail "the update did not complete: $dump"
e2e_wait_program 20 >/dev/null && e2e_pass "the program ended" || e2e_fail "the program is still running"
e2e_expect_eq "the printer reports the new version" \
    "$(e2e_ini_value "$SIMDIR/simprinter.ini" version)" "$(e2e_ini_value "$DIR/ulmaupdate.ini" NewVersion)"
snapshot after

if cmp -s "$SNAP/before.files" "$SNAP/after.files"; then
    e2e_pass "no file of the tool's folder was written, added or removed ($(wc -l <"$SNAP/after.files") files)"
else
    e2e_fail "the tool's folder changed:"
    diff "$SNAP/before.files" "$SNAP/after.files" | sed 's/^/         /' || true
fi
changes before after >"$SNAP/update.txt"
value_names <"$SNAP/update.txt" | comm -23 - "$SNAP/noise.txt" >"$SNAP/unexplained.txt"
if [[ ! -s "$SNAP/unexplained.txt" ]]; then
    e2e_pass "no registry value was written or changed ($(value_names <"$SNAP/update.txt" |
        wc -l) values of Wine's own noise changed)"
else
    e2e_fail "registry values changed by the update:"
    grep -F -f "$SNAP/unexplained.txt" "$SNAP/update.txt" | sed 's/^/         /' | head -40
fi

# The check itself sees writes: one registry value and one file, written on purpose, show up.
printf '== the check sees a write\n'
wine reg add 'HKCU\Software\UlmaNoWriteProbe' /v Probe /t REG_SZ /d 1 /f /reg:32 \
    >/dev/null 2>&1 </dev/null || true
printf 'probe\n' >"$DIR/probe.txt"
snapshot probe
grep -q 'UlmaNoWriteProbe\] "Probe"' <(changes after probe | value_names) &&
    e2e_pass "a registry value written on purpose is seen" ||
    e2e_fail "a registry value written on purpose is not seen: the registry check sees nothing"
cmp -s "$SNAP/after.files" "$SNAP/probe.files" &&
    e2e_fail "a file written on purpose is not seen" || e2e_pass "a file written on purpose is seen"
wine reg delete 'HKCU\Software\UlmaNoWriteProbe' /f /reg:32 >/dev/null 2>&1 </dev/null || true
e2e_finish
