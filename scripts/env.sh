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
# TOVI_WINEPREFIX picks another 64-bit prefix (a helper's own, for instance),
# TOVI_WOW64_PREFIX another WoW64 prefix.

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

# --- The 32-bit run ------------------------------------------------------
# The deliverables are 32-bit; Debian's 32-bit Wine runs them in a 64-bit
# (WoW64) prefix. Installing wine32:i386 system-wide would upgrade many amd64
# packages of this image, so only libc6:i386 is installed (nothing upgraded)
# and 32-bit Wine with the i386 libraries it needs at run time is unpacked
# into the build tree, with the installed 64-bit Wine linked in beside it.
TOVI_WINE32_ROOT="${TOVI_WINE32_ROOT:-$TOVI_ROOT/build/wine32}"
WINE32="$TOVI_WINE32_ROOT/usr/lib/wine/wine"
# The 64-bit loader as seen from the unpacked tree: 64-bit processes of the
# WoW64 prefix are started through it.
WINE32_WINE64="$TOVI_WINE32_ROOT/usr/lib/wine/wine64"
TOVI_WOW64_PREFIX="${TOVI_WOW64_PREFIX:-$TOVI_ROOT/build/wineprefix-wow64}"
# Run-time libraries of 32-bit Wine. libfontconfig1 is not optional: without
# it explorer.exe crashes and is restarted without end.
TOVI_WINE32_LIBS="libx11-6 libx11-xcb1 libxext6 libxrender1 libxcb1 libxau6 libxdmcp6 libbsd0 libmd0 libfreetype6 libfontconfig1 libexpat1 libpng16-16 libbrotli1 libbz2-1.0 zlib1g"
# Libraries that Wine opens at run time (not in any ELF dependency list).
TOVI_WINE32_DLOPENED="libX11.so.6 libXext.so.6 libXrender.so.1 libfreetype.so.6 libfontconfig.so.1"
# Downloaded packages are kept where apt keeps its own, so that a fresh clone
# on a machine that has them unpacks without the network.
if [ -w /var/cache/apt/archives ]; then
    TOVI_DEB_CACHE="${TOVI_DEB_CACHE:-/var/cache/apt/archives}"
else
    TOVI_DEB_CACHE="${TOVI_DEB_CACHE:-$TOVI_ROOT/build/i386-debs}"
fi
TOVI_I386_LISTS_FRESH=0

# Whether this kernel runs 32-bit x86 code: a 96-byte static i386 program
# that only exits with status 42 (no library needed, so this works before
# anything is installed). Prints why not, and fails, when it does not.
tovi_kernel_runs_32bit() {
    local probe="$TOVI_ROOT/build/ia32-probe" status
    mkdir -p "$TOVI_ROOT/build"
    # ELF header, one loadable segment at 0x08048000, then
    # mov eax,1; mov ebx,42; int 0x80.
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00''\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00''\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00''\x00\x00\x00\x00''\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08''\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00''\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
    chmod +x "$probe"
    ("$probe") 2>/dev/null
    status=$?
    [ "$status" -eq 42 ] && return 0
    if [ "$status" -eq 126 ]; then
        echo "the kernel ($(uname -r)) cannot run 32-bit x86 programs (no IA32 emulation)"
    else
        echo "a 32-bit x86 test program ended with status $status instead of 42 on kernel $(uname -r)"
    fi
    return 1
}

tovi_sudo() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

tovi_update_i386_lists() {
    [ "$TOVI_I386_LISTS_FRESH" = 1 ] && return 0
    echo "Fetching the package lists (for i386)"
    tovi_sudo apt-get update -qq || return 1
    TOVI_I386_LISTS_FRESH=1
}

# The cached package file of name (exact version, or the newest), or nothing.
tovi_cached_deb() {
    local name=$1 version=${2:-} f
    if [ -n "$version" ]; then
        f="$TOVI_DEB_CACHE/${name}_${version//:/%3a}_i386.deb"
        [ -f "$f" ] && echo "$f"
        return 0
    fi
    ls "$TOVI_DEB_CACHE/${name}"_*_i386.deb 2>/dev/null | sort -V | tail -n 1
}

# libc6:i386 from Debian's archive, at the version of the installed amd64
# libc6 (the two must match), and only if that upgrades and removes nothing.
tovi_install_libc6_i386() {
    dpkg-query -W -f='${Status}' libc6:i386 2>/dev/null | grep -q "install ok installed" && return 0
    local version plan
    version=$(dpkg-query -W -f='${Version}' libc6:amd64) || return 1
    apt-cache show "libc6:i386=$version" >/dev/null 2>&1 || tovi_update_i386_lists || return 1
    plan=$(apt-get install -s --no-install-recommends "libc6:i386=$version" 2>&1) || {
        echo "$plan" | tail -n 5
        echo "libc6:i386 $version cannot be installed from the archive"
        return 1
    }
    if grep -qE '^(Remv|Inst [^ ]+ \[)' <<<"$plan"; then
        echo "Installing libc6:i386 would upgrade or remove system packages; not done:"
        grep -E '^(Remv|Inst [^ ]+ \[)' <<<"$plan"
        return 1
    fi
    echo "Installing: libc6:i386 $version"
    local log="$TOVI_ROOT/build/install-libc6-i386.log"
    DEBIAN_FRONTEND=noninteractive tovi_sudo apt-get install -y -qq --no-install-recommends \
        "libc6:i386=$version" >"$log" 2>&1 || { tail -n 20 "$log"; return 1; }
}

# Unpacks 32-bit Wine (at the installed 64-bit Wine's version) and its
# run-time libraries into TOVI_WINE32_ROOT, downloading what the cache lacks.
tovi_unpack_wine32() {
    local version stamp want=() missing=() files=() p f
    version=$(dpkg-query -W -f='${Version}' wine64) || { echo "wine64 is not installed"; return 1; }
    stamp="$TOVI_WINE32_ROOT/.tovi-wine32"
    [ -f "$stamp" ] && [ "$(head -n 1 "$stamp")" = "wine $version" ] && return 0
    for p in wine32=$version libwine=$version $TOVI_WINE32_LIBS; do
        want+=("$p")
        f=$(tovi_cached_deb "${p%%=*}" "$([ "${p#*=}" != "$p" ] && echo "${p#*=}")")
        [ -n "$f" ] || missing+=("${p%%=*}:i386${p#"${p%%=*}"}")
    done
    if [ ${#missing[@]} -ne 0 ]; then
        apt-cache show "wine32:i386=$version" >/dev/null 2>&1 || tovi_update_i386_lists || return 1
        mkdir -p "$TOVI_DEB_CACHE"
        echo "Downloading ${#missing[@]} i386 packages for 32-bit Wine"
        # apt's sandbox user may not write to a cache that is not apt's own.
        (cd "$TOVI_DEB_CACHE" && apt-get download -qq -o APT::Sandbox::User="$(id -un)" "${missing[@]}") || {
            echo "Could not download: ${missing[*]}"
            return 1
        }
    fi
    for p in "${want[@]}"; do
        f=$(tovi_cached_deb "${p%%=*}" "$([ "${p#*=}" != "$p" ] && echo "${p#*=}")")
        [ -n "$f" ] || { echo "package ${p%%=*}:i386 is missing from $TOVI_DEB_CACHE"; return 1; }
        files+=("$f")
    done
    local tmp="$TOVI_WINE32_ROOT.tmp"
    rm -rf "$tmp" "$TOVI_WINE32_ROOT"
    mkdir -p "$tmp"
    for f in "${files[@]}"; do
        dpkg-deb -x "$f" "$tmp" || { echo "Could not unpack $f"; return 1; }
    done
    # The 64-bit half of the WoW64 pair: the installed 64-bit Wine, as if it
    # had been installed beside the 32-bit one. One server serves both. The
    # 64-bit loader is a copy, not a link: Wine looks for the other loader in
    # the folder of its own program file's real path.
    mkdir -p "$tmp/usr/lib/x86_64-linux-gnu" &&
        cp /usr/lib/wine/wine64 "$tmp/usr/lib/wine/wine64" &&
        ln -sfn /usr/lib/wine/wineserver64 "$tmp/usr/lib/wine/wineserver64" &&
        ln -sfn /usr/lib/wine/wineserver64 "$tmp/usr/lib/wine/wineserver" &&
        ln -sfn /usr/lib/x86_64-linux-gnu/wine "$tmp/usr/lib/x86_64-linux-gnu/wine" || return 1
    # What libwine's install step does: zlib1.dll from the MinGW zlib package,
    # marked as a Wine builtin library.
    local zin=/usr/i686-w64-mingw32/lib/zlib1.dll zout="$tmp/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
    if [ -f "$zin" ]; then
        { head -c 64 "$zin"; printf 'Wine builtin DLL'; printf '\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'; tail -c +97 "$zin"; } >"$zout"
    fi
    printf 'wine %s\n' "$version" >"$tmp/.tovi-wine32"
    printf '%s\n' "${files[@]##*/}" >>"$tmp/.tovi-wine32"
    mv "$tmp" "$TOVI_WINE32_ROOT"
}

# Fails with the names of the libraries that 32-bit Wine would not find: a
# missing one makes Wine crash in ways that do not end (see above).
tovi_check_wine32_libs() {
    local r=$TOVI_WINE32_ROOT lib missing=() so
    for lib in $TOVI_WINE32_DLOPENED; do
        [ -e "$r/usr/lib/i386-linux-gnu/$lib" ] || [ -e "$r/lib/i386-linux-gnu/$lib" ] || missing+=("$lib")
    done
    for so in "$r"/usr/lib/i386-linux-gnu/wine/i386-unix/{ntdll,win32u,winex11}.so; do
        [ -e "$so" ] || { missing+=("${so##*/}"); continue; }
        for lib in $(tovi_use_wow64; /lib/ld-linux.so.2 --list "$so" 2>&1 | sed -n 's/^[[:space:]]*\([^ ]*\) => not found.*/\1/p'); do
            missing+=("$lib (for ${so##*/})")
        done
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "32-bit Wine lacks: ${missing[*]}"
    return 1
}

# Everything the 32-bit run needs; prints why not and fails otherwise.
tovi_install_win32_runtime() {
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "Adding the i386 architecture to dpkg"
        tovi_sudo dpkg --add-architecture i386 || return 1
        TOVI_I386_LISTS_FRESH=0
        tovi_update_i386_lists || return 1
    fi
    tovi_install_libc6_i386 || return 1
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 || { echo "/lib/ld-linux.so.2 does not run"; return 1; }
    tovi_unpack_wine32 || return 1
    tovi_check_wine32_libs
}

tovi_build() {
    local preset=$1
    (cd "$TOVI_ROOT" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset")
}

# Which Wine the session functions below use: 64-bit Wine in the 64-bit
# prefix (the default), or 32-bit Wine in the WoW64 prefix. TOVI_WINE is the
# loader that runs the session's programs.
tovi_use_wine64() {
    TOVI_FLAVOUR=wine64
    TOVI_WINE=$WINE64
    TOVI_BOOT_WINE=$WINE64
    TOVI_SERVER=$WINESERVER
    export WINEPREFIX="${TOVI_WINEPREFIX:-$TOVI_ROOT/build/wineprefix}"
}

tovi_use_wow64() {
    TOVI_FLAVOUR=wow64
    TOVI_WINE=$WINE32
    # The prefix is made by the 64-bit loader of the unpacked tree, which
    # finds the 32-bit one beside it and so fills the 32-bit system folder.
    TOVI_BOOT_WINE=$WINE32_WINE64
    TOVI_SERVER="$TOVI_WINE32_ROOT/usr/lib/wine/wineserver"
    local r=$TOVI_WINE32_ROOT
    export WINEPREFIX=$TOVI_WOW64_PREFIX
    export LD_LIBRARY_PATH="$r/usr/lib/i386-linux-gnu:$r/lib/i386-linux-gnu${TOVI_HOST_LD_LIBRARY_PATH:+:$TOVI_HOST_LD_LIBRARY_PATH}"
}
TOVI_HOST_LD_LIBRARY_PATH=${LD_LIBRARY_PATH:-}
tovi_use_wine64

# The Wine prefix is made once; later runs reuse it.
tovi_wine_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        timeout -k 10 180 "$TOVI_BOOT_WINE" wineboot -i >/dev/null 2>&1 </dev/null
        # wineboot leaves a short-lived server behind; let it go, so that the
        # persistent one can be started (and later stopped) by us.
        timeout -k 10 60 "$TOVI_SERVER" -w </dev/null >/dev/null 2>&1
    fi
    # A program that crashes would wait for Wine's debugger, which does not
    # end on its own here: name a debugger that does not exist (in both
    # registry views), so the crashed program ends at once and its test fails.
    if [ -f "$WINEPREFIX/system.reg" ] && [ ! -f "$WINEPREFIX/.tovi-no-debugger" ]; then
        local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' view ok=1
        for view in 64 32; do
            timeout -k 10 60 "$TOVI_WINE" reg add "$key" /v Debugger /d "no-debugger-here" /f /reg:$view \
                </dev/null >/dev/null 2>&1 || ok=0
        done
        timeout -k 10 60 "$TOVI_SERVER" -w </dev/null >/dev/null 2>&1
        [ "$ok" = 1 ] && touch "$WINEPREFIX/.tovi-no-debugger"
    fi
    if [ "$TOVI_FLAVOUR" = wow64 ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
        # A prefix whose 64-bit side could not start the 32-bit loader.
        echo "the WoW64 prefix $WINEPREFIX has no 32-bit system folder (syswow64); remove it to make it again"
        return 1
    fi
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wineboot did not make the prefix $WINEPREFIX"; return 1; }
}

TOVI_STARTED_SERVER=""
TOVI_STARTED_SERVER_PREFIX=""
TOVI_XVFB_PID=""

# A persistent server keeps each test process's start-up short. Its standard
# streams must not be ours, or Wine's service processes hold our pipes open.
# When a server already runs for this prefix, it is someone else's: use it and
# leave it running. Set DISPLAY first: the server's first program fixes the
# display for every later window of that server.
tovi_start_wineserver() {
    if "$TOVI_SERVER" -p </dev/null >/dev/null 2>&1; then
        TOVI_STARTED_SERVER=$TOVI_SERVER
        TOVI_STARTED_SERVER_PREFIX=$WINEPREFIX
    fi
    # The first program of a server starts Wine's service processes, which
    # inherit that program's streams: start them from one whose streams lead
    # nowhere, so no later caller's pipe is held open after it ends.
    timeout -k 10 120 "$TOVI_WINE" cmd /c exit </dev/null >/dev/null 2>&1
}

# Ends the server this script started, and with it every Wine process of
# its prefix.
tovi_stop_wineserver() {
    if [ -n "$TOVI_STARTED_SERVER" ]; then
        WINEPREFIX=$TOVI_STARTED_SERVER_PREFIX "$TOVI_STARTED_SERVER" -k >/dev/null 2>&1 </dev/null
        TOVI_STARTED_SERVER=""
        TOVI_STARTED_SERVER_PREFIX=""
    fi
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
    tovi_stop_wineserver
    if [ -n "$TOVI_XVFB_PID" ]; then
        kill "$TOVI_XVFB_PID" 2>/dev/null
        wait "$TOVI_XVFB_PID" 2>/dev/null
        TOVI_XVFB_PID=""
    fi
}
