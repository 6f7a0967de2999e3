#!/bin/sh
# Size and imported DLLs of ulmaupdate.exe in both Windows builds, beside the two minimal dialog
# programs built the same way. Each import is marked when it is not a system DLL.
#
# Usage: bench/sizes.sh   (after cmake --workflow --preset win32 and --preset win64)
set -eu
ROOT="$(cd "$(dirname "$0")/.." && pwd)"

imports() {
    for objdump in i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump; do
        if out=$("$objdump" -p "$1" 2>/dev/null); then
            printf '%s\n' "$out" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr -d '\r'
            return 0
        fi
    done
    return 1
}

status=0
for build in win32 win64; do
    for exe in "$ROOT/dist/$build/ulmaupdate.exe" "$ROOT/build/$build/tools/minimaldlg/minimaldlg.exe" \
        "$ROOT/build/$build/tools/minimaldlg/minimalflow.exe"; do
        if [ ! -f "$exe" ]; then
            printf '%s: %s missing (cmake --workflow --preset %s)\n' "$build" "$exe" "$build"
            status=1
            continue
        fi
        dlls=$(imports "$exe" | tr '\n' ' ')
        size=$(wc -c <"$exe" | tr -d ' ')
        printf '%-6s %-15s %8d bytes (%4d KB)  imports: %s\n' "$build" "$(basename "$exe")" \
            "$size" $(((size + 1023) / 1024)) "$dlls"
        # The same list of system DLLs the ready folder's check accepts.
        sh "$ROOT/tests/wine/check_imports.sh" "$exe" >/dev/null 2>&1 ||
            { printf '       ^ imports a DLL that is not a system DLL\n'; status=1; }
    done
done
exit $status
