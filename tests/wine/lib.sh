# Shared helpers for running and driving the Windows build under Wine. Source this file.
#
# It keeps one Wine prefix in build/wine-prefix (made once, reused), runs the programs on a
# private Xvfb display (or the user's display), drives them with ulmadrive.exe and saves
# screenshots. Everything it started is stopped on every way out of the calling script.

E2E_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
E2E_BUILD="${E2E_BUILD:-$E2E_ROOT/build}"
# The Windows build whose programs, stand-ins and tools the runs use: the shipped i686 one, or
# the x86_64 one on a machine that cannot run 32-bit programs.
# shellcheck source=tests/wine/wine_arch.sh
source "$E2E_ROOT/tests/wine/wine_arch.sh"
ulma_wine_arch "$E2E_ROOT"
if [[ $ULMA_WINE32 == 1 ]]; then
    E2E_PRESET=win32
else
    E2E_PRESET=win64
fi
E2E_WINBUILD="${E2E_WINBUILD:-$E2E_BUILD/$E2E_PRESET}"
E2E_DIST="${E2E_DIST:-$E2E_ROOT/dist/$E2E_PRESET}"
E2E_ARTIFACTS="${E2E_ARTIFACTS:-$E2E_BUILD/e2e-artifacts}"

export WINEPREFIX="${WINEPREFIX:-$E2E_BUILD/wine-prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=d}"
export WINEARCH="${WINEARCH:-win64}"

# '&' in a replacement text is literal here (bash 5.2 would insert the match).
shopt -u patsub_replacement 2>/dev/null || true

E2E_XVFB_PID=""
E2E_PROGRAM_PID=""
E2E_OWN_DISPLAY=0
E2E_FAILURES=0
E2E_CHECKS=0

e2e_log() { printf '%s\n' "$*" >&2; }
e2e_die() {
    printf 'ERROR: %s\n' "$*" >&2
    exit 1
}

# Finds the automation tool: beside the ready folder's build, or given by $ULMADRIVE.
e2e_find_tools() {
    local d
    for d in "${ULMADRIVE_DIR:-}" "$E2E_WINBUILD/tools" "$E2E_BUILD/h8-w32/tools"; do
        if [[ -n "$d" && -f "$d/ulmadrive.exe" ]]; then
            E2E_TOOLS="$d"
            ULMADRIVE="$d/ulmadrive.exe"
            return 0
        fi
    done
    e2e_die "ulmadrive.exe not found; build it with: cmake --workflow --preset $E2E_PRESET"
}

# Makes the Wine prefix once: boot, fonts, no window-manager decorations under Xvfb, a CJK
# replacement for the Japanese dialog font.
e2e_prefix() {
    if [[ -f "$WINEPREFIX/.ulma-ready" ]]; then
        return 0
    fi
    e2e_log "Creating the Wine prefix $WINEPREFIX (once)"
    mkdir -p "$(dirname "$WINEPREFIX")" "$E2E_ARTIFACTS"
    # Wine's own output is kept and shown on failure, with the free space: a full disk is the
    # usual cause, and Wine says little about it. Wine has also been seen, rarely, to leave a
    # new prefix half made ("could not load kernel32.dll") and make it whole on the next try, so
    # a failed boot is tried again from scratch before the run gives up.
    local log="$E2E_ARTIFACTS/wineboot-${WINEPREFIX##*/}.log" try
    local kernel32="$WINEPREFIX/drive_c/windows/system32/kernel32.dll"
    for try in 1 2 3; do
        rm -rf "$WINEPREFIX"
        if wine wineboot --init >"$log" 2>&1 </dev/null && wineserver -w &&
            [[ -f "$WINEPREFIX/system.reg" && -f "$kernel32" ]]; then
            break
        fi
        tail -n 20 "$log" >&2
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
        [[ $try -lt 3 ]] ||
            e2e_die "wineboot failed; free space where the prefix lies: $(df -h --output=avail "${WINEPREFIX%/*}" | tail -n 1)"
        e2e_log "wineboot failed (try $try of 3); making the prefix again"
    done
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    # The proportional IPA Gothic stands in for the proportional dialog font "MS UI Gothic";
    # the fixed-pitch one is copied too for anything that asks for it.
    local ipa
    for ipa in /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf \
        /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf; do
        [[ -f "$ipa" ]] && cp -L "$ipa" "$WINEPREFIX/drive_c/windows/Fonts/"
    done
    local view
    for view in /reg:32 /reg:64; do
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f $view \
            >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /t REG_SZ \
            /d IPAPGothic /f $view >/dev/null 2>&1
    done
    wineserver -w
    touch "$WINEPREFIX/.ulma-ready"
}

# A private ja_JP.UTF-8 locale (no system-wide locale generation needed). Prints nothing;
# sets E2E_LOCPATH.
e2e_japanese_locale() {
    E2E_LOCPATH="$E2E_BUILD/locale"
    if [[ ! -d "$E2E_LOCPATH/ja_JP.UTF-8" ]]; then
        mkdir -p "$E2E_LOCPATH"
        localedef -i ja_JP -f UTF-8 "$E2E_LOCPATH/ja_JP.UTF-8" >/dev/null 2>&1 ||
            [[ -d "$E2E_LOCPATH/ja_JP.UTF-8" ]] || e2e_die "localedef ja_JP.UTF-8 failed"
    fi
}

# Language of the programs started from now on: en or ja.
e2e_language() {
    case "$1" in
    en)
        unset LOCPATH LC_MESSAGES
        export LANG=C.UTF-8 LC_ALL=C.UTF-8
        ;;
    ja)
        e2e_japanese_locale
        export LOCPATH="$E2E_LOCPATH"
        # The shell itself may not know the private locale; only the programs need it.
        export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 2>/dev/null
        ;;
    ja-messages)
        # Japanese as the language of messages on a system with a Western code page.
        e2e_japanese_locale
        export LOCPATH="$E2E_LOCPATH"
        unset LC_ALL
        export LANG=C.UTF-8 LC_MESSAGES=ja_JP.UTF-8 2>/dev/null
        ;;
    *) e2e_die "unknown language $1" ;;
    esac
    # A running wineserver keeps the locale of the processes it started first.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    wineserver -p 2>/dev/null || true
    # Start the session's background processes now, detached from any pipe of ours: a wine
    # child that inherits a pipe would keep it open until the session ends.
    wine wineboot >/dev/null 2>&1 </dev/null || true
}

# Uses the user's display when asked (E2E_USE_DISPLAY=1 and $DISPLAY set); otherwise starts
# Xvfb on a free display number.
e2e_display() {
    if [[ "${E2E_USE_DISPLAY:-0}" == 1 && -n "${DISPLAY:-}" ]]; then
        return 0
    fi
    local fifo="$E2E_BUILD/.xvfb-display.$$"
    mkdir -p "$E2E_BUILD"
    rm -f "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
    E2E_XVFB_PID=$!
    E2E_OWN_DISPLAY=1
    local i
    for i in $(seq 1 100); do
        if [[ -s "$fifo" ]]; then break; fi
        kill -0 "$E2E_XVFB_PID" 2>/dev/null || e2e_die "Xvfb did not start"
        sleep 0.1
    done
    [[ -s "$fifo" ]] || e2e_die "Xvfb did not report its display"
    export DISPLAY=":$(head -n1 "$fifo")"
    rm -f "$fifo"
    # A black root window with nothing else makes screenshots easy to read.
    e2e_log "Virtual display $DISPLAY"
}

e2e_cleanup() {
    local rc=$?
    if [[ -n "$E2E_PROGRAM_PID" ]]; then kill "$E2E_PROGRAM_PID" 2>/dev/null || true; fi
    wineserver -k 2>/dev/null || true
    # The last program's exit status, once read, is of no further use.
    rm -f "$E2E_BUILD/.program-status.$$"
    if [[ -n "$E2E_XVFB_PID" ]]; then
        kill "$E2E_XVFB_PID" 2>/dev/null || true
        wait "$E2E_XVFB_PID" 2>/dev/null || true
    fi
    return $rc
}

# Sets up everything a script needs: tools, prefix, display, clean-up on exit. One run at a
# time uses the prefix: its wineserver is stopped at the end of each.
e2e_begin() {
    command -v wine >/dev/null || e2e_die "wine is not installed"
    command -v Xvfb >/dev/null || e2e_die "Xvfb is not installed"
    e2e_find_tools
    mkdir -p "$E2E_ARTIFACTS" "$(dirname "$WINEPREFIX")"
    exec 9>"$WINEPREFIX.lock"
    if ! flock -n 9; then
        e2e_log "Waiting for another run that uses $WINEPREFIX ..."
        flock 9
    fi
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM
    e2e_prefix
    e2e_display
    e2e_language en
}

# Ends the run when the ready folder has no program to run.
e2e_need_dist() {
    [[ -f "$E2E_DIST/ulmaupdate.exe" ]] ||
        e2e_die "$E2E_DIST/ulmaupdate.exe missing; build it with: cmake --workflow --preset $E2E_PRESET"
}

# Prints the path of a minimal yardstick program (after e2e_begin): e2e_minimal_program [NAME],
# minimaldlg (one dialog) unless NAME says minimalflow (a dialog, then a printer list); fails
# when it is missing.
e2e_minimal_program() {
    local exe="$E2E_TOOLS/minimaldlg/${1:-minimaldlg}.exe"
    [[ -f "$exe" ]] || e2e_die "$exe missing; build it with: cmake --workflow --preset $E2E_PRESET"
    printf '%s\n' "$exe"
}

# e2e_install_configured_printer STATE_INI CONFIG_INI: installs the simulated printer that
# STATE_INI names, with the driver CONFIG_INI names.
e2e_install_configured_printer() {
    e2e_install_printer "$(e2e_ini_value "$1" printer)" "$(e2e_ini_value "$2" DriverName)"
}

# A fresh copy of a ready folder to run from: e2e_scratch NAME [SOURCE] -> prints the path.
e2e_scratch() {
    local dir="$E2E_BUILD/e2e-run/$1" src="${2:-$E2E_DIST}"
    rm -rf "$dir"
    mkdir -p "$dir"
    cp -R "$src"/. "$dir"/
    printf '%s\n' "$dir"
}

# The value of KEY in an ini-style FILE (first "KEY=" line, carriage return dropped):
# e2e_ini_value FILE KEY.
e2e_ini_value() { sed -n "s/^$2=//p" "$1" | head -n1 | tr -d '\r'; }

# The Windows build has no sanitizer: the programs the tests start run under Wine's heap checks
# (every block checked on every heap call, a damaged one ends the program), and what Wine says of
# their heaps is kept in $E2E_HEAP_LOG for e2e_finish. Benchmarks and the demo turn it off
# (E2E_HEAP_CHECK=0 before sourcing this file), as it slows the programs.
E2E_HEAP_CHECK="${E2E_HEAP_CHECK:-1}"
E2E_HEAP_LOG=""
E2E_HEAP_STARTED=0

# Starts a Windows program in the background: e2e_start EXE [ARGS...]; its exit status goes
# to $E2E_PROGRAM_STATUS_FILE when it ends. Its working folder is its own, or $E2E_WORKDIR when
# set, as when a user starts it from a command prompt or a shortcut in another folder.
e2e_start() {
    local exe="$1" workdir
    shift
    workdir="${E2E_WORKDIR:-$(dirname "$exe")}"
    E2E_PROGRAM_NAME="$(basename "$exe")"
    E2E_PROGRAM_STATUS_FILE="$E2E_BUILD/.program-status.$$"
    rm -f "$E2E_PROGRAM_STATUS_FILE"
    if [[ "$E2E_HEAP_CHECK" == 1 ]]; then
        if [[ -z "$E2E_HEAP_LOG" ]]; then
            E2E_HEAP_LOG="$E2E_BUILD/.program-heap.$$"
            : >"$E2E_HEAP_LOG"
            : >"$E2E_HEAP_LOG.read"
        fi
        E2E_HEAP_STARTED=$((E2E_HEAP_STARTED + 1))
    fi
    (
        rc=0
        if [[ "$E2E_HEAP_CHECK" == 1 ]]; then
            # Wine then traces every heap call on stderr: only its errors and warnings are kept,
            # and a line in the .read file says that all the program wrote has been read.
            export WINEDEBUG=+heap
            exec 3> >(
                grep -a --line-buffered -E ':(err|warn|fixme):heap:' >>"$E2E_HEAP_LOG" || true
                echo >>"$E2E_HEAP_LOG.read"
            )
        else
            exec 3>/dev/null
        fi
        cd "$workdir" && wine "$exe" "$@" >/dev/null 2>&3 3>&- </dev/null || rc=$?
        echo "$rc" >"$E2E_PROGRAM_STATUS_FILE"
    ) &
    E2E_PROGRAM_PID=$!
}

# Waits for the started program to end (at most $1 seconds) and prints its exit status.
e2e_wait_program() {
    local limit="${1:-20}" i
    for i in $(seq 1 $((limit * 10))); do
        if [[ -f "$E2E_PROGRAM_STATUS_FILE" ]] && ! kill -0 "$E2E_PROGRAM_PID" 2>/dev/null; then
            cat "$E2E_PROGRAM_STATUS_FILE"
            E2E_PROGRAM_PID=""
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# Runs the automation tool on the started program's windows; output on stdout.
# The output goes through a file, never a pipe (see e2e_language).
# Under load Wine has been seen to end the tool without a word: a run that only looks (no
# verb that acts on a window) and printed nothing where it must have printed something, or
# failed, is run once more, so a script does not fall one window behind.
e2e_drive() {
    local out="$E2E_BUILD/.drive-output.$$" rc=0 attempt arg acts=0 prints=0
    for arg in "$@"; do
        case "$arg" in
            click | command | cancel | escape | close | end-session | select | select-text) acts=1 ;;
            wait-title | wait-control | wait-dialog | wait-next | dump | caption | text | clock) prints=1 ;;
        esac
    done
    for attempt in 1 2; do
        rc=0
        wine "$ULMADRIVE" --exe "${E2E_PROGRAM_NAME:-ulmaupdate.exe}" "$@" >"$out" 2>&1 </dev/null ||
            rc=$?
        if [[ $attempt == 1 && $acts == 0 && ! -s "$out" ]] && ((rc != 0 || prints == 1)); then
            e2e_log "the automation tool ended without output (status $rc); run again: $*"
            continue
        fi
        break
    done
    tr -d '\r' <"$out"
    rm -f "$out"
    return $rc
}

# Screenshot of the whole display into the artefacts folder: e2e_screenshot NAME.
e2e_screenshot() {
    local file="$E2E_ARTIFACTS/$1.png"
    mkdir -p "$(dirname "$file")"
    /usr/bin/import -display "$DISPLAY" -window root "$file" 2>/dev/null || {
        e2e_log "the screenshot $1 could not be taken"
        return 1
    }
}

# e2e_install_printer PRINTER_NAME DRIVER_NAME [PPD]: a printer on FILE: in the prefix. The
# driver is added from a process of the runs' build (32-bit, so 32-bit programs can query it,
# where the machine runs them) and, when the 64-bit tool is built, from a 64-bit one too.
e2e_install_printer() {
    local ppd="${3:-$E2E_ROOT/tests/wine/data/label.ppd}" out="$E2E_BUILD/.addprinter.$$" wppd
    wppd="$(winepath -w "$ppd" 2>/dev/null)"
    if ! wine "$E2E_TOOLS/addprinter.exe" "$1" "$2" "$wppd" >"$out" 2>&1 </dev/null; then
        cat "$out" >&2
        rm -f "$out"
        e2e_die "could not install the printer $1"
    fi
    local d
    for d in "$E2E_BUILD/win64/tools" "$E2E_BUILD/h8-w64/tools"; do
        [[ "$d/addprinter.exe" != "$E2E_TOOLS/addprinter.exe" ]] || break
        if [[ -f "$d/addprinter.exe" ]]; then
            wine "$d/addprinter.exe" "$1" "$2" "$wppd" --driver-only >>"$out" 2>&1 </dev/null || true
            break
        fi
    done
    rm -f "$out"
}

# e2e_rc_text LANG NAME: the first quoted text on the line of NAME in res/LANG.rc (a string
# table entry or a control), with the escapes as ulmadrive prints them.
e2e_rc_text() {
    local line
    line="$(grep -E "(^|[^A-Za-z0-9_])$2([^A-Za-z0-9_]|$)" "$E2E_ROOT/res/$1.rc" | grep '"' | head -n1)"
    [[ -n "$line" ]] || e2e_die "$2 not found in res/$1.rc"
    line="${line#*\"}"
    local out="" c
    # Up to the closing quote; "" stands for one quote.
    while [[ -n "$line" ]]; do
        c="${line:0:1}"
        line="${line:1}"
        if [[ "$c" == '"' ]]; then
            if [[ "${line:0:1}" == '"' ]]; then
                out+='"'
                line="${line:1}"
            else
                break
            fi
        else
            out+="$c"
        fi
    done
    printf '%s\n' "$out"
}

# e2e_format FORMAT ARG...: fills the %s places in order.
e2e_format() {
    local fmt="$1" a
    shift
    for a in "$@"; do
        fmt="${fmt/\%s/$a}"
    done
    printf '%s\n' "$fmt"
}

# --- checks --------------------------------------------------------------------------------

e2e_pass() {
    E2E_CHECKS=$((E2E_CHECKS + 1))
    printf '  ok   %s\n' "$*"
}
e2e_fail() {
    E2E_CHECKS=$((E2E_CHECKS + 1))
    E2E_FAILURES=$((E2E_FAILURES + 1))
    printf '  FAIL %s\n' "$*"
}

# e2e_expect_line DESCRIPTION OUTPUT LINE: OUTPUT holds LINE exactly.
e2e_expect_line() {
    if grep -Fxq -- "$3" <<<"$2"; then
        e2e_pass "$1"
    else
        e2e_fail "$1"
        printf '       expected line: %s\n       got:\n' "$3"
        sed 's/^/         /' <<<"$2"
    fi
}

# e2e_expect_eq DESCRIPTION ACTUAL EXPECTED
e2e_expect_eq() {
    if [[ "$2" == "$3" ]]; then
        e2e_pass "$1"
    else
        e2e_fail "$1"
        printf '       expected: %s\n       got:      %s\n' "$3" "$2"
    fi
}

# Field 6 (the text) of the dump line of control ID.
e2e_control_text() {
    awk -F'\t' -v id="$2" '$1 == "control" && $2 == id { print $6; exit }' <<<"$1"
}

e2e_caption() {
    awk -F'\t' '$1 == "caption" { print $2; exit }' <<<"$1"
}

# Ends the script with a summary; status 1 when any check failed or the script made none of its
# own (a run that checked nothing proves nothing).
e2e_finish() {
    if [[ "$E2E_CHECKS" == 0 ]]; then
        e2e_fail "the script made no check"
    fi
    if [[ -n "$E2E_HEAP_LOG" ]]; then
        # Waits until all each program wrote has been read; a program still running (or a
        # Wine process it started) is given ten seconds.
        local i
        for i in $(seq 1 100); do
            [[ "$(wc -l <"$E2E_HEAP_LOG.read")" -lt "$E2E_HEAP_STARTED" ]] || break
            sleep 0.1
        done
        if [[ -s "$E2E_HEAP_LOG" ]]; then
            e2e_fail "Wine's heap checks found faults in the programs run:"
            head -n 20 "$E2E_HEAP_LOG" | sed 's/^/       /'
        else
            e2e_pass "Wine's heap checks found nothing wrong in the programs run"
        fi
        rm -f "$E2E_HEAP_LOG" "$E2E_HEAP_LOG.read"
    fi
    printf '%s: %d checks, %d failed\n' "$(basename "$0")" "$E2E_CHECKS" "$E2E_FAILURES"
    [[ "$E2E_FAILURES" == 0 ]]
}
