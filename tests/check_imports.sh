#!/bin/sh
# Fails when a program imports a DLL outside the allowed set: system DLLs that
# Windows loads only from its known-DLL list. Everything else is loaded at run
# time from the system folder, so no DLL planted beside the program is ever used.
# Usage: check_imports.sh PROGRAM...
allowed="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll shlwapi.dll ole32.dll oleaut32.dll comdlg32.dll msvcrt.dll"
status=0
for program in "$@"; do
    imports=$(i686-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
    [ -n "$imports" ] || { echo "$program: no import table found"; status=1; continue; }
    for dll in $imports; do
        case " $allowed " in
            *" $dll "*) ;;
            *) echo "$program imports $dll, which is not a known DLL"; status=1 ;;
        esac
    done
    echo "$program imports: $(echo $imports)"
done
exit $status
