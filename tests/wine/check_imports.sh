#!/bin/sh
# Checks that a Windows executable or library imports nothing but system DLLs, so that it runs
# from a folder that holds only the program, its sample files and the maker's libraries.
# Usage: check_imports.sh <file.exe|file.dll>
set -eu

if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "usage: $0 <file.exe|file.dll>" >&2
    exit 2
fi
file=$1

# Each mingw objdump reads the PE format of its own target: take the first that knows this file.
dump=
for objdump in i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump objdump; do
    command -v "$objdump" >/dev/null 2>&1 || continue
    if dump=$("$objdump" -p "$file" 2>/dev/null); then
        break
    fi
    dump=
done
if [ -z "$dump" ]; then
    echo "$file: no objdump here reads this file" >&2
    exit 2
fi

dlls=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr -d '\r')
if [ -z "$dlls" ]; then
    echo "$file: no import table found" >&2
    exit 1
fi

# DLLs every supported Windows version carries.
is_system_dll() {
    case $(printf '%s' "$1" | tr '[:upper:]' '[:lower:]') in
        kernel32.dll | user32.dll | comctl32.dll | gdi32.dll | winspool.drv | advapi32.dll | \
            msvcrt.dll | \
            api-ms-win-*.dll)
            return 0 ;;
        *)
            return 1 ;;
    esac
}

status=0
echo "Imports of $file:"
for dll in $dlls; do
    if is_system_dll "$dll"; then
        echo "  $dll"
    else
        echo "  $dll   <-- not a system DLL"
        status=1
    fi
done
size=$(wc -c <"$file" | tr -d ' ')
echo "Size: $size bytes"
if [ $status -ne 0 ]; then
    echo "FAIL: $file needs DLLs that a user's folder does not have" >&2
fi
exit $status
