#!/bin/sh
# Builds the tests of the Windows platform layer with mingw-w64 and runs them under Wine in a
# virtual display, once in an English and once in a Japanese locale.
# Usage: run_win32_tests.sh [i686|x86_64]     (default i686, the shipped build)
# Environment: ULMA_WIN32_TEST_BUILD overrides the build folder.
set -eu

arch=${1:-i686}
case $arch in
    i686 | x86_64) ;;
    *) echo "usage: $0 [i686|x86_64]" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${ULMA_WIN32_TEST_BUILD:-$root/build/win32-tests-$arch}
# shellcheck source=tests/wine/wine_arch.sh
. "$root/tests/wine/wine_arch.sh"
ulma_wine_arch "$root"
if [ "$arch" = i686 ] && [ "$ULMA_WINE32" = 0 ]; then
    echo "This machine cannot run 32-bit programs, so Wine cannot run the i686 tests here." >&2
    exit 1
fi

# The tests' own build, with the standard library's bounds checks on (the shipped program is
# built elsewhere, without them).
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Debug -DULMA_WIN32_TESTS=ON -DCMAKE_CXX_FLAGS=-D_GLIBCXX_ASSERTIONS >/dev/null
cmake --build "$build" -j2 --target ulma_win32_tests
exe=$(find "$build" -name ulma_win32_tests.exe | head -n 1)
[ -n "$exe" ] || { echo "ulma_win32_tests.exe was not built" >&2; exit 1; }

# A private Wine prefix in the build folder, made once.
export WINEPREFIX="$build/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml=d"
export WINEDEBUG=-all
# Wine has been seen, rarely, to leave a new prefix half made ("could not load kernel32.dll")
# and make it whole on the next try: a prefix without its system libraries is made again.
kernel32="$WINEPREFIX/drive_c/windows/system32/kernel32.dll"
if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$kernel32" ]; then
    for try in 1 2 3; do
        rm -rf "$WINEPREFIX"
        wine wineboot --init >/dev/null 2>&1 || true
        wineserver -w
        [ -f "$kernel32" ] && break
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
        [ "$try" -lt 3 ] || { echo "wineboot failed three times in $WINEPREFIX" >&2; exit 1; }
        echo "wineboot failed (try $try of 3); making the prefix again" >&2
    done
    # No window manager under Xvfb: unmanaged windows close without a stall.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    wineserver -w
fi

# A crash goes to Wine's debugger, which under a display waits for someone to close its dialog:
# without the dialog it writes the backtrace to the log and ends the program at once.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w

# A virtual display on a free number, which Xvfb reports once it takes clients (a loaded
# machine may take seconds to get there).
fifo="$build/.xvfb-display.$$"
rm -f "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true; rm -f "$fifo"' EXIT INT TERM
waited=0
while [ ! -s "$fifo" ]; do
    kill -0 "$xvfb_pid" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
    waited=$((waited + 1))
    [ "$waited" -le 600 ] || { echo "Xvfb did not report its display" >&2; exit 1; }
    sleep 0.1
done
DISPLAY=":$(head -n 1 "$fifo")"
export DISPLAY

# The Japanese locale, generated privately (Wine ignores LANG for a locale that is missing).
locales="$build/locale"
if [ ! -d "$locales/ja_JP.UTF-8" ]; then
    mkdir -p "$locales"
    localedef -i ja_JP -f UTF-8 "$locales/ja_JP.UTF-8" >/dev/null 2>&1 || true
fi

# Runs the tests under Wine's heap checks (every block checked on every heap call; a damaged one
# stops the program with an error of the heap channel): run_tests LOG, in the locale's environment.
# The trace of each call stays in LOG; errors and Wine's other messages are shown. Wine's own
# spooler warns that it frees blocks of another heap when a test printer is added or removed;
# warnings are left out. A crash leaves the program in Wine's debugger, so a run is stopped after
# ten minutes.
run_tests() {
    rc=0
    WINEDEBUG=-all,+heap timeout -k 10 600 wine "$exe" 2>"$1" || rc=1
    grep -av -E '^[0-9a-f]+:(trace|warn|fixme):' "$1" >&2 || true
    if grep -aq ':err:heap:' "$1"; then
        echo "Wine's heap checks found a fault (details in $1)" >&2
        rc=1
    fi
    return $rc
}

status=0
echo "== English locale"
# C.UTF-8 is there on every machine and lets file names hold any character; Wine gives it the
# Western code page. (A locale that is not installed would leave file names ASCII.)
ULMA_EXPECT_ACP=1252 LANG=C.UTF-8 LC_ALL=C.UTF-8 run_tests "$build/heap-en.log" || status=1
if [ -d "$locales/ja_JP.UTF-8" ]; then
    echo "== Japanese locale"
    ULMA_EXPECT_ACP=932 LOCPATH="$locales" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 \
        run_tests "$build/heap-ja.log" || status=1
else
    echo "== Japanese locale could not be generated; skipped"
fi
wineserver -k 2>/dev/null || true
# A one-off run (CI) gives the prefix's 1.3 GB back; the next run makes it again.
if [ "${ULMA_DROP_TEST_PREFIXES:-0}" = 1 ]; then
    wineserver -w 2>/dev/null || true
    rm -rf "$WINEPREFIX"
fi
exit $status
