#!/usr/bin/env bash
# Checks that every third-party part the linker put into a Windows program is covered by the
# notices file that goes beside it: the runtimes are linked statically, and some of their
# licences ask that their notices come with every copy of the program.
# Usage: check_notices.sh <linker map> <THIRD-PARTY-NOTICES.txt>
set -euo pipefail

if [[ $# -ne 2 || ! -f $1 || ! -f $2 ]]; then
    echo "usage: $0 <linker map> <THIRD-PARTY-NOTICES.txt>" >&2
    exit 2
fi
map=$1
notices=$2

# What the linker took: archive members as "archive(member)", and whole object files. The LOAD
# lines name every input offered, used or not, so they are left out.
parts=$(grep -v '^LOAD ' "$map" |
    grep -oE '[^ ()]+\.a\([^)]+\)|[^ ()]+\.(o|obj)( |$)' |
    sed -E 's#^.*/([^/]+\.a\()#\1#; s#^.*/([^/()]+\.(o|obj))#\1#; s/ $//' | sort -u) || true
if [[ -z $parts ]]; then
    echo "$map: no linked parts found; is this a GNU ld map?" >&2
    exit 2
fi

declare -A need=()
unknown=()
while IFS= read -r part; do
    # A few files of the covered runtimes are under licences of their own that the notices do not
    # hold yet (error function and other maths, option parsing, strtok_r, 64-bit division helpers,
    # profiling): taking one in needs its notice added first.
    if [[ $part =~ [-_](s_erf|sf_erf|e_fmodf?|e_powf?|e_remainderf?|getopt|strtok_r|dll_math|gmon|gcrt[0-9]|profil|mcount)\.o\)$ ]]; then
        unknown+=("$part")
        continue
    fi
    case $part in
        # The project's own code.
        libulma_*.a\(* | objects.a\(* | *.obj) ;;
        # Import libraries of the system DLLs (check_imports.sh checks the DLLs themselves).
        libkernel32.a\(* | libuser32.a\(* | libgdi32.a\(* | libcomctl32.a\(* | \
            libadvapi32.a\(* | libwinspool.a\(*) ;;
        libmingw32.a\(* | libmingwex.a\(* | libmoldname.a\(* | libmsvcrt.a\(* | crt[12].o | \
            dllcrt[12].o)
            need["1. mingw-w64 runtime"]=1
            # The number conversions come from gdtoa, under a licence of their own.
            if [[ $part =~ ^libmingwex\.a\(.*[-_](gdtoa|dmisc|gmisc|misc|smisc|mingw_pformat|dtoa|g_[a-z_]+|strto[a-z_]+|gethex|hexnan|hd_init|sum|ulp)\.o\)$ ]]; then
                need["2. gdtoa"]=1
            fi
            ;;
        libpthread.a\(* | libwinpthread.a\(*) need["3. winpthreads"]=1 ;;
        libgcc.a\(* | libgcc_eh.a\(* | libstdc++.a\(* | libsupc++.a\(* | crtbegin.o | crtend.o)
            need["4. GCC runtime libraries"]=1 ;;
        *) unknown+=("$part") ;;
    esac
done <<<"$parts"

# The notices' lines, without the byte order mark and the carriage returns Windows editors want.
lines=$(sed 's/^\xEF\xBB\xBF//; s/\r$//' "$notices")
failed=0
if [[ ${#unknown[@]} -gt 0 ]]; then
    failed=1
    echo "ERROR: linked parts whose licences the notices do not hold (add their notices to $(basename "$notices") and name them in $0):" >&2
    printf '  %s\n' "${unknown[@]}" >&2
fi
for section in "${!need[@]}"; do
    # A section starts with its heading on a line of its own (the list at the top does not count).
    if ! grep -qxF -- "$section" <<<"$lines"; then
        failed=1
        echo "ERROR: $(basename "$notices") has no section \"$section\", which the program contains" >&2
    fi
done
[[ $failed == 0 ]] || exit 1
echo "$(basename "$map"): every third-party part is named in $(basename "$notices") (${#need[@]} sections)"
