# Installs the Debian packages the build, the tests and the demo need, when any is missing.
# Source this file and call ensure_packages. Non-interactive; uses sudo when not root.

ULMA_PACKAGES=(
    cmake make g++ googletest libgtest-dev libgmock-dev clang-14 clang-format
    mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-i686
    binutils-mingw-w64-x86-64
    wine wine64 wine32:i386 xvfb xdotool x11-utils fonts-wine fonts-ipafont-gothic imagemagick
    locales python3 clang-tidy-14 cppcheck libclang-rt-14-dev
)

ensure_packages() {
    local missing=() p sudo=()
    for p in "${ULMA_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    if [[ ${#missing[@]} == 0 ]]; then
        return 0
    fi
    if [[ $(id -u) != 0 ]]; then
        command -v sudo >/dev/null || {
            echo "ERROR: packages missing (${missing[*]}) and no sudo to install them" >&2
            return 1
        }
        sudo=(sudo)
        [[ -t 0 ]] || sudo=(sudo -n)
    fi
    echo "Installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo[@]}" dpkg --add-architecture i386
    fi
    # A fresh machine may still be running its own package jobs, and a mirror may fail for a
    # moment: apt waits for the lock, and each command is tried three times before giving up.
    local apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)
    apt_retry "${apt[@]}" update -q
    apt_retry "${apt[@]}" install -y -q --no-install-recommends "${missing[@]}"
}

# apt_retry COMMAND...: runs the command up to three times, 20 s apart, until it succeeds.
apt_retry() {
    local i
    for i in 1 2 3; do
        "$@" && return 0
        [[ $i == 3 ]] || {
            echo "apt failed (try $i of 3); trying again in 20 s" >&2
            sleep 20
        }
    done
    return 1
}
