#!/usr/bin/env bash
# Seeds a Wine prefix with a "moved program": Quillpad was installed in
# C:\QUILL and has been moved to C:\Apps\Quillpad, but the Windows
# configuration still names the old place (with MOVIX_DEMO_MOVE=1 it is
# still in C:\QUILL, to be moved by the run). Usage: demo-seed.sh PREFIX
# (after a build: the shortcuts are written by build/win/mxshortcut.exe).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=$1
c="$prefix/drive_c"
win="$c/windows"

crlf() { sed 's/$/\r/'; }

# The program in its new home; the old folder is gone.
mkdir -p "$c/Apps/Quillpad/TEMPLATES" "$c/Apps/Quillpad/PLUGINS"
printf 'MZ' > "$c/Apps/Quillpad/QUILL.EXE"
printf 'MZ' > "$c/Apps/Quillpad/PLUGINS/SPELL.DLL"
rm -rf "$c/QUILL"
crlf > "$c/Apps/Quillpad/QUILL.INI" <<'INI'
[Startup]
LastDir=C:\QUILL\DOCS
Window=0,0,640,480
INI
# Settings as programs of today keep them: JSON in its own folder (escaped
# backslashes, forward slashes, a file: URL), XML in the user's AppData.
cat > "$c/Apps/Quillpad/settings.json" <<'JSON'
{
  "home": "C:\\QUILL",
  "spellChecker": "C:/QUILL/PLUGINS/SPELL.DLL",
  "helpPage": "file:///C:/QUILL/DOCS/HELP.HTM",
  "window": [0, 0, 640, 480]
}
JSON
for appdata in "$c"/users/*/AppData/Roaming; do
    [ -d "$appdata" ] || continue
    mkdir -p "$appdata/Quillpad"
    crlf > "$appdata/Quillpad/recent.xml" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<recent>
  <file path="C:\QUILL\DOCS\README.QDC" />
  <folder path="C:\QUILL\TEMPLATES" />
</recent>
XML
done

# MOVIX_DEMO_MOVE=1: the program has not moved yet. It is still in C:\QUILL,
# and the run moves it itself (/move, or the first page's box).
if [ "${MOVIX_DEMO_MOVE:-}" = 1 ]; then
    mv "$c/Apps/Quillpad" "$c/QUILL"
    rmdir "$c/Apps" 2>/dev/null || true
fi

# An INI file of its own in the Windows folder.
crlf > "$win/QUILL.INI" <<'INI'
; Quillpad settings, installed from C:\QUILL
[Quillpad]
Home=C:\QUILL
Templates=C:\QUILL\TEMPLATES
AutoSave=1
[C:\QUILL\PLUGINS]
Spell=C:\QUILL\PLUGINS\SPELL.DLL
INI

# Lines in WIN.INI and SYSTEM.INI, written to the files directly (Wine maps
# some WIN.INI sections to the Registry when the profile API is used). The
# files as they were before the first seed are kept aside, so that a later
# seed starts from them again: after a replacement the demo's lines name the
# new place, and would otherwise not be found a second time.
for f in win.ini system.ini; do
    touch "$win/$f"
    [ -f "$win/$f.movix-demo-orig" ] || cp "$win/$f" "$win/$f.movix-demo-orig"
    cp "$win/$f.movix-demo-orig" "$win/$f"
done
crlf >> "$win/win.ini" <<'INI'
[Quillpad]
Program=C:\QUILL\QUILL.EXE
[Extensions]
qdoc=C:\QUILL\QUILL.EXE ^.qdoc
INI
crlf >> "$win/system.ini" <<'INI'
[QuillDrivers]
Spell=C:\QUILL\PLUGINS\SPELL.DLL
INI

# A Program Manager group with the program's items, kept by the substitute
# that the demo runs for Program Manager (current Windows has none, and
# Wine's own does not serve a group's items). Written afresh on every seed,
# like the files above, so that each run of the demo finds them again.
groups="$c/mxprogman-groups"
mkdir -p "$groups"
cp "$(dirname "$0")"/../tools/progman/demo-groups/group*.txt "$groups/"

# Registry references: an uninstall entry, an App Paths key, the program's own
# settings and a file type. Imported in one go (each Wine start costs time).
cat > "$prefix/quillpad-demo.reg" <<'REG'
REGEDIT4

; Whatever an earlier run of the demo left (values renamed to the new place
; among it) goes first, so that every run starts from the same references.
[-HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillpad]
[-HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\App Paths\QUILL.EXE]
[-HKEY_CURRENT_USER\Software\Quillpad]
[-HKEY_CLASSES_ROOT\.qdc]
[-HKEY_CLASSES_ROOT\Quillpad.Document]

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillpad]
"DisplayName"="Quillpad"
"UninstallString"="C:\\QUILL\\UNINST.EXE"
"InstallLocation"="C:\\QUILL"
"DisplayIcon"="C:\\QUILL\\QUILL.EXE,0"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\App Paths\QUILL.EXE]
@="C:\\QUILL\\QUILL.EXE"
"Path"="C:\\QUILL"

[HKEY_CURRENT_USER\Software\Quillpad\Settings]
"Home"="C:\\QUILL"
"RecentFile1"="C:\\QUILL\\DOCS\\README.QDC"
; A list of plug-in folders (REG_MULTI_SZ: D:\Shared\Dictionaries,
; C:\QUILL\PLUGINS, C:\QUILLPRO\LIB) and the help file through the system
; drive's variable (REG_EXPAND_SZ: %SystemDrive%\QUILL\QUILL.HLP).
"PluginPath"=hex(7):44,3a,5c,53,68,61,72,65,64,5c,44,69,63,74,69,6f,6e,61,72,69,65,73,00,43,3a,5c,51,55,49,4c,\
  4c,5c,50,4c,55,47,49,4e,53,00,43,3a,5c,51,55,49,4c,4c,50,52,4f,5c,4c,49,42,00,00
"HelpFile"=hex(2):25,53,79,73,74,65,6d,44,72,69,76,65,25,5c,51,55,49,4c,4c,5c,51,55,49,4c,4c,2e,48,4c,50,00

[HKEY_CURRENT_USER\Software\Quillpad\Open Documents]
"C:\\QUILL\\DOCS\\LETTER.QDC"=dword:00000001

[HKEY_CLASSES_ROOT\.qdc]
@="Quillpad.Document"

[HKEY_CLASSES_ROOT\Quillpad.Document\shell\open\command]
@="C:\\QUILL\\QUILL.EXE \"%1\""

; The demo's saved choice: "All of the Registry", so that the references
; under HKLM above are found too (the default searches HKCR, HKCU, HKCC).
[HKEY_CURRENT_USER\Software\Kestrelia\MOVIX32\1.0\Settings]
"Registry"="3"
REG
WINEPREFIX="$prefix" WINEDEBUG=-all /usr/lib/wine/wine64 regedit /S "$(WINEPREFIX="$prefix" /usr/lib/wine/wine64 winepath -w "$prefix/quillpad-demo.reg" 2>/dev/null)" </dev/null >/dev/null 2>&1 || true

# Its shortcuts on the Desktop and in the Start Menu, written through the
# shell's link object as its installer did (Wine's menu builder kept out).
WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
    /usr/lib/wine/wine64 "$root/build/win/mxshortcut.exe" desktop 'Quillpad.lnk' \
    'C:\QUILL\QUILL.EXE' '' 'C:\QUILL\DOCS' 'C:\QUILL\QUILL.EXE' 0 </dev/null >/dev/null 2>&1 || true
WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
    /usr/lib/wine/wine64 "$root/build/win/mxshortcut.exe" programs 'Quillpad\Quillpad.lnk' \
    'C:\QUILL\QUILL.EXE' '/spell C:\QUILL\PLUGINS\SPELL.DLL' 'C:\QUILL' 'C:\QUILL\QUILL.EXE' 1 \
    </dev/null >/dev/null 2>&1 || true

# Its updater as a service, and a scheduled task that starts it each day,
# registered through the service manager and the Task Scheduler (made afresh
# on every seed, like the references above). Wine's Task Scheduler takes the
# task but does not list its tasks, so the demo finds the service only there.
wine_cmd() {
    WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
        /usr/lib/wine/wine64 "$@" </dev/null >/dev/null 2>&1 || true
}
wine_cmd sc delete QuillpadUpdater
wine_cmd sc create QuillpadUpdater binPath= 'C:\QUILL\QUPDATE.EXE /service /log C:\QUILL\LOGS' \
    DisplayName= 'Quillpad Updater' start= demand
wine_cmd sc description QuillpadUpdater 'Keeps Quillpad up to date. Installed in C:\QUILL'
crlf > "$prefix/quillpad-task.xml" <<'XML'
<?xml version="1.0"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo><Description>Quillpad's daily update check</Description></RegistrationInfo>
  <Triggers><CalendarTrigger><StartBoundary>2026-01-01T09:00:00</StartBoundary>
    <ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger></Triggers>
  <Principals><Principal id="Author"><LogonType>InteractiveToken</LogonType></Principal></Principals>
  <Settings><Enabled>true</Enabled></Settings>
  <Actions Context="Author"><Exec><Command>C:\QUILL\QUPDATE.EXE</Command>
    <Arguments>/check /log C:\QUILL\LOGS</Arguments><WorkingDirectory>C:\QUILL</WorkingDirectory></Exec></Actions>
</Task>
XML
wine_cmd schtasks /delete /tn 'Quillpad\Update' /f
wine_cmd schtasks /create /tn 'Quillpad\Update' /xml \
    "$(WINEPREFIX="$prefix" /usr/lib/wine/wine64 winepath -w "$prefix/quillpad-task.xml" 2>/dev/null)" /f
