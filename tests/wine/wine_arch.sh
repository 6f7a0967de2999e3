# shellcheck shell=sh
# Which Windows programs this machine's Wine can run. Source this file (from sh or bash), then
# call ulma_wine_arch ROOT with the repository's top folder.
#
# Some kernels (seen in virtual machines) refuse to start 32-bit Linux programs. Wine's 32-bit
# loader cannot start there, and Debian's 'wine' launcher, which picks that loader whenever it is
# installed, then fails for every Windows program, 64-bit ones included. On such a machine
# ulma_wine_arch puts a 'wine' and a 'winepath' first on PATH (in ROOT/build/wine64-only) that
# start the 64-bit loader directly, as the launcher itself does when the 32-bit loader is not
# installed, and sets ULMA_WINE32=0: only the x86_64 programs can run. Elsewhere it sets
# ULMA_WINE32=1 and changes nothing.

ulma_wine_arch() {
    ULMA_WINE32=1
    if [ -x /usr/lib/wine/wine64 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
        ULMA_WINE32=0
        ulma_shim="$1/build/wine64-only"
        mkdir -p "$ulma_shim"
        # Written under names of this process's own and moved in whole, so that two runs
        # starting at once never see a half-written file.
        cat >"$ulma_shim/wine.new.$$" <<'EOF'
#!/bin/sh
# Starts Wine's 64-bit loader: this machine cannot run its 32-bit one.
export WINELOADER=/usr/lib/wine/wine64
if [ -z "${WINEDEBUG:-}" ]; then export WINEDEBUG=fixme-all; fi
exec /usr/lib/wine/wine64 "$@"
EOF
        cat >"$ulma_shim/winepath.new.$$" <<'EOF'
#!/bin/sh
exec wine winepath.exe "$@"
EOF
        chmod +x "$ulma_shim/wine.new.$$" "$ulma_shim/winepath.new.$$"
        mv -f "$ulma_shim/wine.new.$$" "$ulma_shim/wine"
        mv -f "$ulma_shim/winepath.new.$$" "$ulma_shim/winepath"
        case ":$PATH:" in
        *":$ulma_shim:"*) ;;
        *) PATH="$ulma_shim:$PATH" ;;
        esac
        export PATH
        unset ulma_shim
    fi
    export ULMA_WINE32
}
