# Shared by scripts/test and scripts/run: package set-up, builds, and the
# Wine prefix, Wine server and X display that the Windows programs run under.
# Sourced, not run.

TOVI_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TOVI_PACKAGES="g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 xvfb googletest libclang-rt-14-dev clang-14 cmake ninja-build nlohmann-json3-dev"
WINE64=/usr/lib/wine/wine64
# The wine64 package puts no wineserver on PATH.
WINESERVER=/usr/lib/wine/wineserver
export WINEARCH=win64
export WINEDEBUG=-all
# TOVI_WINEPREFIX picks another prefix (a helper's own, for instance).
export WINEPREFIX="${TOVI_WINEPREFIX:-$TOVI_ROOT/build/wineprefix}"

tovi_install_packages() {
    local missing=()
    local p
    for p in $TOVI_PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

tovi_build() {
    local preset=$1
    (cd "$TOVI_ROOT" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset")
}

# The Wine prefix is made once; later runs reuse it.
tovi_wine_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        "$WINE64" wineboot -i >/dev/null 2>&1 </dev/null
        # wineboot leaves a short-lived server behind; let it go, so that the
        # persistent one can be started (and later stopped) by us.
        "$WINESERVER" -w </dev/null >/dev/null 2>&1
    fi
}

TOVI_STARTED_WINESERVER=0
TOVI_XVFB_PID=""

# A persistent server keeps each test process's start-up short. Its standard
# streams must not be ours, or Wine's service processes hold our pipes open.
# When a server already runs for this prefix, it is someone else's: use it and
# leave it running. Set DISPLAY first: the server's first program fixes the
# display for every later window of that server.
tovi_start_wineserver() {
    if "$WINESERVER" -p </dev/null >/dev/null 2>&1; then
        TOVI_STARTED_WINESERVER=1
    fi
    # The first program of a server starts Wine's service processes, which
    # inherit that program's streams: start them from one whose streams lead
    # nowhere, so no later caller's pipe is held open after it ends.
    "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1
}

tovi_start_xvfb() {
    local n
    for n in $(seq 91 120); do
        [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
        TOVI_XVFB_PID=$!
        export DISPLAY=":$n"
        local i
        for i in $(seq 1 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && return 0
            sleep 0.1
        done
        kill "$TOVI_XVFB_PID" 2>/dev/null
        TOVI_XVFB_PID=""
    done
    echo "Could not start Xvfb" >&2
    return 1
}

# Ends only what this script started.
tovi_cleanup() {
    if [ "$TOVI_STARTED_WINESERVER" = 1 ]; then
        "$WINESERVER" -k >/dev/null 2>&1 </dev/null
        TOVI_STARTED_WINESERVER=0
    fi
    if [ -n "$TOVI_XVFB_PID" ]; then
        kill "$TOVI_XVFB_PID" 2>/dev/null
        wait "$TOVI_XVFB_PID" 2>/dev/null
        TOVI_XVFB_PID=""
    fi
}
