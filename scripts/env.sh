# Sourced by the scripts: folders and the Wine session of one build.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${AR_BUILD_DIR:-$root/build/mingw}
deps=${AR_DEPS_DIR:-$root/build/deps}
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers when the prefix is created (there is no network),
# no sound drivers, and no debugger that would wait on a crashed test.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winealsa.drv,winepulse.drv,wineoss.drv,winedbg.exe=}
# The loader that starts 32- and 64-bit programs alike in the 64-bit prefix (WoW64).
wine=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver

configure_and_build() {
    AR_DEPS_DIR=$deps "$root/scripts/bootstrap" || return
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DAR_DEPS_DIR="$deps" >/dev/null || return
    cmake --build "$build" -j "$(nproc)"
}

# One persistent wineserver for the whole session; the prefix is made once.
start_wine() {
    mkdir -p "$WINEPREFIX"
    "$wineserver" -p </dev/null >/dev/null 2>&1
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
    # Without a window manager, Wine waits two seconds for every window it hides
    # unless it manages the windows itself.
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
}

stop_wine() {
    "$wineserver" -k 2>/dev/null || true
}
