# Sourced by the scripts: folders and the Wine session of one build.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers when the prefix is created (there is no network),
# no sound drivers, and no debugger that would wait on a crashed test.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winealsa.drv,winepulse.drv,wineoss.drv,winedbg.exe=}
wineserver=/usr/lib/wine/wineserver

# Whether this machine starts 32-bit x86 programs: Wine's 32-bit loader is one. A
# Linux kernel set up without 32-bit support (ia32_emulation off, as on some
# virtual machines) refuses it with "Exec format error".
runs_32bit_programs() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# The build whose programs run here: the product's 32-bit build (the loader that
# starts 32- and 64-bit programs alike in the 64-bit prefix, WoW64), or, where
# 32-bit programs cannot start, a 64-bit build of the same sources under wine64.
# AR_WINDOWS_PROCESSOR chooses one by hand.
choose_build() {
    processor=${AR_WINDOWS_PROCESSOR:-}
    if [ -z "$processor" ]; then
        processor=i686
        if ! runs_32bit_programs && [ -x /usr/lib/wine/wine64 ]; then
            processor=x86_64
        fi
    fi
    if [ "$processor" = x86_64 ]; then
        build=${AR_BUILD_DIR:-$root/build/mingw-x86_64}
        deps=${AR_DEPS_DIR:-$root/build/deps-x86_64}
        toolchain=$root/cmake/mingw-w64-x86_64.cmake
        wine=/usr/lib/wine/wine64
        program_files="Program Files"
    else
        build=${AR_BUILD_DIR:-$root/build/mingw}
        deps=${AR_DEPS_DIR:-$root/build/deps}
        toolchain=$root/cmake/mingw-w64.cmake
        wine=/usr/lib/wine/wine
        program_files="Program Files (x86)"
    fi
    export WINEPREFIX=${own_wineprefix:-$build/wineprefix}
    # Where the product lands, as the folder below the prefix's drive C.
    export AR_PROGRAM_FILES=$program_files
}
# A prefix that the caller chose stays; choose_build runs again after the bootstrap.
own_wineprefix=${WINEPREFIX:-}
choose_build

# Builds one tree: PROCESSOR BUILD_DIR DEPS_DIR TOOLCHAIN [WINE_TESTS=ON|OFF].
build_tree() {
    AR_WINDOWS_PROCESSOR=$1 AR_DEPS_DIR=$3 "$root/scripts/bootstrap" || return
    cmake -S "$root" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$4" -DAR_WINE_TESTS="${5:-ON}" \
          -DCMAKE_BUILD_TYPE=Release -DAR_DEPS_DIR="$3" >/dev/null || return
    cmake --build "$2" -j "$(nproc)"
}

# The product's 32-bit tree, built beside the 64-bit one where this machine cannot
# run it: the checks that only read its programs (imports, signatures) still apply.
shipped_build=$root/build/mingw

# Builds the tree whose programs run here, and the product's 32-bit tree too when
# that is not the one.
configure_and_build() {
    "$root/scripts/bootstrap" --packages || return
    choose_build
    if [ "$processor" = x86_64 ] && [ -z "${AR_WINDOWS_PROCESSOR:-}" ]; then
        echo "note: this machine's kernel cannot start 32-bit x86 programs, so Wine cannot run the product's" \
             "32-bit build; the programs run here are a 64-bit build of the same sources (wine64)"
        [ -n "${AR_BUILD_DIR:-}${AR_DEPS_DIR:-}" ] ||
            build_tree i686 "$shipped_build" "$root/build/deps" "$root/cmake/mingw-w64.cmake" OFF || return
    fi
    build_tree "$processor" "$build" "$deps" "$toolchain"
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
