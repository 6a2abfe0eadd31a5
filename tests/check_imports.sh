#!/bin/sh
# Fails when a program is not an image for the build's processor, or imports a DLL
# outside the allowed set: system DLLs that Windows loads only from its known-DLL
# list. Everything else is loaded at run time from the system folder, so no DLL
# planted beside the program is ever used.
# Usage: check_imports.sh OBJDUMP FORMAT PROGRAM...   (FORMAT: pei-i386, pei-x86-64)
objdump=$1 format=$2
shift 2
allowed="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll shlwapi.dll ole32.dll oleaut32.dll comdlg32.dll msvcrt.dll"
status=0
for program in "$@"; do
    "$objdump" -f "$program" | grep -q "file format $format\$" ||
        { echo "$program is not a $format image"; status=1; }
    imports=$("$objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
    [ -n "$imports" ] || { echo "$program: no import table found"; status=1; continue; }
    for dll in $imports; do
        case " $allowed " in
            *" $dll "*) ;;
            *) echo "$program imports $dll, which is not a known DLL"; status=1 ;;
        esac
    done
    echo "$program ($format) imports: $(echo $imports)"
done
exit $status
