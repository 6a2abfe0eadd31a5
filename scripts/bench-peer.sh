# Sourced by scripts/bench-install: the peer installer that the benchmark runs
# beside ours, an NSIS 3 installer (Debian's makensis) of the same files.
#
# make_nsis_peer DATA_MANIFEST PROGRAMS_MANIFEST OUT.exe: a 32-bit (x86-unicode)
# installer, solid bzip2, of every manifest entry to the folders ours uses
# (<InstallPath> = Program Files (x86)\Ardenvale\Pelorium 7, <CommonData> =
# ProgramData, <UserData> = the user's AppData\Roaming, <Temporary> = its own
# temporary folder), with the same three shortcuts, the same uninstall
# registration values and product record, both programs made read-only, and the
# installed program's self-registration awaited. It checks only the CRC of its
# compressed data (NSIS's CRCCheck), and has no DirectX step, journal or log.
#
# clean_nsis_peer: removes what the peer installed (for the next round).
make_nsis_peer() {
    local data=$1 programs=$2 out=$3
    local script=${out%.exe}.nsi
    python3 - "$data" "$programs" "$out" > "$script" <<'PY'
import os, sys
data, programs, out = sys.argv[1:4]
out = os.path.abspath(out)  # makensis takes a relative OutFile from the script's folder
folders = {"<InstallPath>": "$INSTDIR", "<CommonData>": "$APPDATA", "<UserData>": "$APPDATA",
           "<Temporary>": "$PLUGINSDIR"}
print(f'''Unicode true
SetCompressor /SOLID bzip2
RequestExecutionLevel admin
Name "Pelorium 7.06"
OutFile "{out}"
InstallDir "$PROGRAMFILES\\Ardenvale\\Pelorium 7"
ShowInstDetails nevershow
Page directory
Page instfiles
Section
  InitPluginsDir
  SetShellVarContext all''')
for manifest in (data, programs):
    base = os.path.dirname(os.path.abspath(manifest))
    for line in open(manifest, encoding="utf-8"):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        source, folder, kind = [f.strip() for f in line.split("|")]
        token, _, rest = folder.partition(">")
        target = folders[token + ">"] + rest
        user = token == "<UserData"
        if user:
            print("  SetShellVarContext current")
        print(f'  SetOutPath "{target}"')
        print(f'  File "{os.path.join(base, source)}"')
        if user:
            print("  SetShellVarContext all")
key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelorium 7"
web = "https://www.ardenvale.example/pelorium"
print(f'''  CreateDirectory "$SMPROGRAMS\\Ardenvale\\Pelorium 7"
  CreateShortcut "$SMPROGRAMS\\Ardenvale\\Pelorium 7\\Pelorium 7.06.lnk" "$INSTDIR\\Pelorium.exe"
  CreateShortcut "$SMPROGRAMS\\Ardenvale\\Pelorium 7\\Uninstall Pelorium.lnk" "$INSTDIR\\Uninstall.exe"
  CreateShortcut "$DESKTOP\\Pelorium 7.06.lnk" "$INSTDIR\\Pelorium.exe"
  WriteRegStr HKLM "{key}" "DisplayName" "Pelorium 7.06"
  WriteRegStr HKLM "{key}" "UninstallString" "$INSTDIR\\Uninstall.exe"
  WriteRegStr HKLM "{key}" "DisplayIcon" "$INSTDIR\\Pelorium.exe,0"
  WriteRegStr HKLM "{key}" "DisplayVersion" "7.06"
  WriteRegStr HKLM "{key}" "Publisher" "Ardenvale"
  WriteRegStr HKLM "{key}" "URLInfoAbout" "{web}"
  WriteRegStr HKLM "{key}" "HelpLink" "{web}"
  WriteRegStr HKLM "{key}" "URLUpdateInfo" "{web}"
  WriteRegStr HKLM "{key}" "HelpTelephone" "+33 1 70 36 41 00"
  WriteRegDWORD HKLM "{key}" "NoModify" 1
  WriteRegDWORD HKLM "{key}" "NoRepair" 1
  WriteRegDWORD HKLM "{key}" "ArLanguage" 1
  WriteRegStr HKLM "{key}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "{key}" "EstimatedSize" 22000
  WriteRegStr HKLM "{key}" "InstallDate" "20261209"
  WriteRegStr HKLM "Software\\Ardenvale\\Pelorium 7" "MainProgram" "$INSTDIR\\Pelorium.exe"
  WriteRegStr HKLM "Software\\Ardenvale\\Pelorium 7" "Version" "7.06"
  SetFileAttributes "$INSTDIR\\Pelorium.exe" READONLY
  SetFileAttributes "$INSTDIR\\Uninstall.exe" READONLY
  ExecWait '"$INSTDIR\\Pelorium.exe" /Register /Background' $0
SectionEnd''')
PY
    makensis -V2 "$script" >/dev/null
}

clean_nsis_peer() {
    local drive=$WINEPREFIX/drive_c
    local installed="$drive/Program Files (x86)/Ardenvale/Pelorium 7"
    [ -e "$installed/Pelorium.exe" ] &&
        "$build/wine-run" "$installed/Pelorium.exe" /Unregister /Background >/dev/null 2>&1 || true
    chmod -R u+w "$drive/Program Files (x86)/Ardenvale" 2>/dev/null || true
    rm -rf "$drive/Program Files (x86)/Ardenvale" "$drive/ProgramData/Ardenvale" \
        "$drive"/users/*/AppData/Roaming/Ardenvale "$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Ardenvale" \
        "$drive/users/Public/Desktop/Pelorium 7.06.lnk"
    "$build/wine-run" reg delete 'HKLM\Software\Wow6432Node\Ardenvale' /f >/dev/null 2>&1 || true
    "$build/wine-run" reg delete 'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Pelorium 7' /f \
        >/dev/null 2>&1 || true
}
