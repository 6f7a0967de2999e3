#!/usr/bin/env bash
# Where the start-up time under Wine goes: runs ulmaupdate.exe (warning accepted the moment it
# appears, main dialog closed the moment it appears) and the minimal dialog program N times each
# with Wine's time-stamped traces of library loads, dialog creation and the spooler, and prints
# the median length of each phase. The traces slow both programs a little; the phases show
# which part is the program's own work and which is Wine's.
#
# Usage: bench/wine_startup_phases.sh [N]     (default 5; needs the win32 build: cmake --workflow
#                                               --preset win32)
set -euo pipefail
RUNS="${1:-5}"
source "$(dirname "$0")/../tests/wine/lib.sh"

e2e_need_dist
e2e_begin
MINIMAL="$(e2e_minimal_program)"

DIR="$(e2e_scratch startup-phases)"
e2e_install_configured_printer "$DIR/simprinter.ini" "$DIR/ulmaupdate.ini"
TITLE="$(e2e_format "$(e2e_rc_text en IDS_TITLE_FMT)" "$(e2e_ini_value "$DIR/ulmaupdate.ini" MachineName)")"
TRACE="$E2E_BUILD/.startup-trace.$$"
DRIVER_OUT="$E2E_BUILD/.startup-driver.$$"
CHANNELS="+timestamp,+loaddll,+dialog,+winspool"

# traced EXE CHANNELS DRIVER_ARGS...: one run of EXE under the automation tool; the trace goes
# to $TRACE.
traced() {
    local exe="$1" channels="$2"
    shift 2
    wine "$ULMADRIVE" --exe "$(basename "$exe")" --poll 5 "$@" >"$DRIVER_OUT" 2>&1 </dev/null &
    local driver=$!
    sleep 1.5
    (cd "$(dirname "$exe")" && WINEDEBUG="$channels" wine "./$(basename "$exe")" >"$TRACE" 2>&1 \
        </dev/null) &
    local program=$!
    wait "$driver" || true
    wait "$program" || true
}

# phases EXE_NAME: the phase lengths of the trace in $TRACE, in ms, as "name=value" lines. Only
# the program's own thread counts; a phase whose markers are missing is left out.
phases() {
    awk -F: -v exe="$1" '
        function at(name) { if (!(name in t)) t[name] = $1 * 1000 }
        $0 ~ ("Loaded L\".*" exe) && tid == "" { tid = $2 }
        tid == "" || $2 != tid { next }
        /Loaded L.*\\uxtheme\.dll/ { at("uxtheme") }
        /winspool:process_attach/ { at("spooler") }
        /Loaded L.*\\XmLink\.dll/ { at("xmlink") }
        /Loaded L.*\\qvfilo\.dll/ { at("qvfilo") }
        /Loaded L.*\\wineps\.drv/ { at("wineps") }
        /Loaded L/ && !("exe" in t) { t["exe"] = $1 * 1000 }
        /DIALOG_ParseTemplate32 DIALOGEX/ { dialogs++; at("dialog" dialogs) }
        /DIALOG_CreateControls32  END/ { at("built" dialogs) }
        /dialog:EndDialog/ { ends++; at("end" ends) }
        /winspool:ClosePrinter \(/ && ends == 1 { t["closed"] = $1 * 1000 }
        function show(name, from, to) {
            if ((from in t) && (to in t)) printf "%s=%.0f\n", name, t[to] - t[from]
        }
        END {
            show("start", "exe", "uxtheme")
            if ("spooler" in t) {
                show("spooler", "uxtheme", "spooler")
                show("config", "spooler", "xmlink")
                show("before1", "xmlink", "dialog1")
            } else {
                show("before1", "uxtheme", "dialog1")
            }
            show("dialog1", "dialog1", "built1")
            show("first", "exe", "built1")
            show("between", "end1", "dialog2")
            show("dialog2", "dialog2", "built2")
            show("qvfilo", "built2", "qvfilo")
            show("printing", "qvfilo", "wineps")
            show("objects", "wineps", "closed")
            show("second", "end1", "closed")
        }' "$TRACE"
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2); else print "-" }'; }

# One untimed run of each first: the first start of a program loads it from the disk.
traced "$DIR/ulmaupdate.exe" -all wait-title "$TITLE" 60000 click 1 wait-control 1001 60000 \
    cancel wait-exit 20000
traced "$MINIMAL" -all wait-title "Minimal Dialog" 60000 click 1 wait-exit 20000

TOOL_PHASES="$E2E_BUILD/.startup-tool-phases.$$"
MIN_PHASES="$E2E_BUILD/.startup-min-phases.$$"
: >"$TOOL_PHASES"
: >"$MIN_PHASES"
for i in $(seq 1 "$RUNS"); do
    traced "$DIR/ulmaupdate.exe" "$CHANNELS" wait-title "$TITLE" 60000 click 1 \
        wait-control 1001 60000 cancel wait-exit 20000
    phases ulmaupdate.exe >>"$TOOL_PHASES"
    traced "$MINIMAL" "$CHANNELS" wait-title "Minimal Dialog" 60000 click 1 wait-exit 20000
    phases minimaldlg.exe >>"$MIN_PHASES"
    printf '  run %d of %d traced\n' "$i" "$RUNS" >&2
done
rm -f "$TRACE" "$DRIVER_OUT"

value() { sed -n "s/^$2=//p" "$1" | median; }
row() { printf '  %-62s %6s %8s\n' "$1" "$(value "$TOOL_PHASES" "$2")" "$(value "$MIN_PHASES" "$2")"; }
printf 'start-up phases under Wine with traces on, median of %d runs, ms\n' "$RUNS"
printf '  %-62s %6s %8s\n' "phase" "tool" "minimal"
row "process start until the window system is ready" start
row "spooler library starts (loaded with the program)" spooler
row "configuration, file checks, transfer library loaded" config
row "until the first dialog is created" before1
row "first dialog (the warning) built" dialog1
row "= process start to the first dialog built" first
row "Start pressed until the main dialog is created" between
row "main dialog built" dialog2
row "raw I/O library loaded" qvfilo
row "printers listed, the spooler's driver loaded" printing
row "printer objects built (settings, capabilities, label sizes)" objects
row "= Start pressed to the printers listed" second
rm -f "$TOOL_PHASES" "$MIN_PHASES"
