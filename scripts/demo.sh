#!/usr/bin/env bash
# The main job: builds the Windows ready folder dist/win32/ (dist/win64/ where 32-bit programs
# cannot run), prepares a Wine prefix with the model's printer installed and the simulated
# printer's state, and runs ulmaupdate.exe.
#
# With a display ($DISPLAY set) you drive the program yourself. Without one (a server, CI) it
# runs on a virtual display and plays the user: it goes through every window the program shows,
# prints what each says, presses the button a user would press, and saves a screenshot of each
# window into the folder it names at the end.
#
# Options: --lang en|ja (language of the run, default en); --auto (play the user even when a
# display is there).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
source scripts/packages.sh
# Builds and test runs use every core (CI has two).
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-$(nproc)}"

lang=en
auto=0
while [[ $# -gt 0 ]]; do
    case "$1" in
    --lang)
        lang="$2"
        shift 2
        ;;
    --auto)
        auto=1
        shift
        ;;
    *)
        echo "usage: $0 [--lang en|ja] [--auto]" >&2
        exit 2
        ;;
    esac
done
if [[ -z "${DISPLAY:-}" ]]; then auto=1; fi

ensure_packages
E2E_ARTIFACTS="$ROOT/build/demo-artifacts/$(date +%Y%m%d-%H%M%S)-$lang"
if [[ $auto == 0 ]]; then export E2E_USE_DISPLAY=1; fi
# The program runs as a user runs it, without Wine's heap checks.
E2E_HEAP_CHECK=0
# Chooses the build (E2E_PRESET): the shipped i686 one, or the x86_64 one on a machine that
# cannot run 32-bit programs.
source tests/wine/lib.sh
if [[ $E2E_PRESET == win64 ]]; then
    echo "This machine cannot run 32-bit programs, so Wine cannot run the i686 build: the demo runs the x86_64 one."
fi
echo "Building dist/$E2E_PRESET ..."
cmake --workflow --preset "$E2E_PRESET" >build-demo.log 2>&1 || {
    tail -n 40 build-demo.log
    echo "ERROR: the build failed (full log: $ROOT/build-demo.log)" >&2
    exit 1
}
mkdir -p build
mv -f build-demo.log build/demo-build.log

e2e_begin
e2e_language "$lang"

# The printer the configuration asks for, under the name the simulated printer answers to.
DIR="$(e2e_scratch demo)"
driver="$(sed -n 's/^DriverName=//p' "$DIR/ulmaupdate.ini" | tr -d '\r')"
printer="$(sed -n 's/^printer=//p' "$DIR/simprinter.ini" | head -n1 | tr -d '\r')"
e2e_install_printer "${printer:-$driver}" "$driver"
echo "Printer \"${printer:-$driver}\" (driver \"$driver\") installed in $WINEPREFIX"
echo "Program folder: $DIR"

# After the update: a second run of the program asks the simulated printer for its version and
# shows it in the confirmation, which this prints before answering No and leaving.
window_of() { awk -F'\t' '$1 == "window" { print $2; exit }' <<<"$1"; }
ask_printer_again() {
    local dump warning main question
    dump="$(e2e_drive wait-dialog 40000 dump)" || return 1
    warning="$(window_of "$dump")"
    e2e_drive use "$warning" click 1 >/dev/null || return 1
    dump="$(e2e_drive use "$warning" wait-next 40000 dump)" || return 1
    main="$(window_of "$dump")"
    e2e_drive use "$main" click 1001 >/dev/null || return 1
    dump="$(e2e_drive use "$main" wait-next 40000 dump)" || return 1
    question="$(window_of "$dump")"
    e2e_screenshot "99-asked-again"
    printf '%s\n' "$dump" >"$E2E_ARTIFACTS/99-asked-again.txt"
    echo "Screenshot: $E2E_ARTIFACTS/99-asked-again.png"
    echo "The confirmation now says:"
    awk -F'\t' '$1 == "message" { print $2 }' <<<"$dump" | sed 's/\\n/\n/g' | sed '/^$/d; s/^/  /'
    e2e_drive use "$question" click 7 wait-gone 10000 >/dev/null || return 1
    e2e_drive use "$main" wait-dialog 10000 click 1004 >/dev/null || return 1
}

e2e_start "$DIR/ulmaupdate.exe"

if [[ $auto == 0 ]]; then
    echo "ulmaupdate.exe runs on $DISPLAY; close it to end the demo."
    e2e_wait_program 100000 >/dev/null || true
else
    # Plays the user: one window at a time, the button a user wants.
    prev=0x0
    updated=0
    n=0
    while :; do
        if ! dump="$(e2e_drive use "$prev" wait-next 40000 dump)"; then
            if e2e_wait_program 5 >/dev/null; then break; fi
            echo "No new window within 40 s; windows now:"
            e2e_drive list || true
            break
        fi
        hwnd="$(awk -F'\t' '$1 == "window" { print $2; exit }' <<<"$dump")"
        has() { awk -F'\t' -v id="$1" '$1 == "control" && $2 == id { f = 1 } END { exit !f }' <<<"$dump"; }
        # Between two windows the main dialog may be enabled for a moment: look again.
        if has 1001 && [[ $updated == 1 ]]; then
            sleep 1
            dump="$(e2e_drive wait-dialog 5000 dump)" || break
            hwnd="$(awk -F'\t' '$1 == "window" { print $2; exit }' <<<"$dump")"
        fi
        n=$((n + 1))
        name="$(printf '%02d' "$n")"
        echo
        echo "--- window $n"
        awk -F'\t' '
            $1 == "caption" { print "Title:   " $2 }
            $1 == "control" && $6 != "" { printf "  %-6s %-18s %s%s\n", $2, $3, $6, ($4 == 0 ? "  (disabled)" : "") }
            $1 == "item" { print "         item " $3 ": " $4 }
            $1 == "progress" { print "         progress " $3 " %" }' <<<"$dump"
        action=""
        if has 1006 && has 1 && has 2; then
            name+="-warning"
            action="click 1"
        elif has 1001; then
            name+="-main"
            if [[ $updated == 0 ]]; then
                action="click 1001"
                updated=1
            else
                action="click 1004"
            fi
        elif has 2310; then
            name+="-progress"
        elif has 2510; then
            name+="-device-busy"
        elif has 6 && has 7; then
            name+="-question"
            action="click 6"
        elif has 1; then
            name+="-message"
            action="click 1"
        fi
        e2e_screenshot "$name"
        printf '%s\n' "$dump" >"$E2E_ARTIFACTS/$name.txt"
        echo "Screenshot: $E2E_ARTIFACTS/$name.png"
        if [[ -n "$action" ]]; then
            echo "Action:  $action"
            # shellcheck disable=SC2086
            e2e_drive use "$hwnd" $action >/dev/null || echo "(the action failed)"
        fi
        prev="$hwnd"
        if [[ $n -ge 30 ]]; then
            echo "Stopping after 30 windows."
            break
        fi
    done
    status="$(e2e_wait_program 20)" || status="still running"
    echo
    echo "ulmaupdate.exe ended (exit status $status)."
    if [[ $updated == 1 && $status != "still running" ]]; then
        echo
        echo "--- asking the printer again: ulmaupdate.exe up to its confirmation, then No and Exit"
        e2e_start "$DIR/ulmaupdate.exe"
        ask_printer_again || echo "(the confirmation could not be read)"
        e2e_wait_program 20 >/dev/null || echo "(ulmaupdate.exe is still running)"
    fi
fi

echo
echo "What the simulated printer saw ($DIR/simprinter.ini.log):"
sed 's/^/  /' "$DIR/simprinter.ini.log" 2>/dev/null | cut -c1-140 || echo "  (nothing)"
echo "Firmware version it reports now: $(sed -n 's/^version=//p' "$DIR/simprinter.ini")"
if [[ $auto == 1 ]]; then echo "Screenshots: $E2E_ARTIFACTS"; fi
