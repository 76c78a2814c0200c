#!/usr/bin/env bash
# Seeds a Wine prefix with a "moved program": Quillpad was installed in
# C:\QUILL and has been moved to C:\Apps\Quillpad, but the Windows
# configuration still names the old place (with MOVIX_DEMO_MOVE=1 it is
# still in C:\QUILL, to be moved by the run). Usage: demo-seed.sh PREFIX,
# a prefix just made (after a build: the shortcuts are written by
# build/win/mxshortcut.exe). Every step is checked: the first that fails
# stops the seeding with a message that names it, and the exit code is 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=$1
c="$prefix/drive_c"
win="$c/windows"

# Runs a Wine program of the seeding: "step WHAT PROGRAM ARGS...". The
# service manager and the Task Scheduler of a new prefix may still be
# starting and answer with an error: a step is tried three times before
# the seeding gives up.
step() {
    local what=$1 try out
    shift
    for try in 1 2 3; do
        if out=$(WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
            /usr/lib/wine/wine64 "$@" </dev/null 2>&1); then
            return 0
        fi
        sleep 2
    done
    echo "demo-seed.sh: $what failed: $*" >&2
    [ -n "$out" ] && printf '%s\n' "$out" | tr -d '\r' | tail -5 >&2
    exit 1
}
# Fails the seeding unless the Registry value holds the text: "expect WHAT
# KEY VALUE TEXT".
expect() {
    local out
    out=$(WINEPREFIX="$prefix" WINEDEBUG=-all /usr/lib/wine/wine64 reg query "$2" /v "$3" </dev/null 2>&1 | tr -d '\r')
    if ! printf '%s\n' "$out" | grep -qF -- "$4"; then
        echo "demo-seed.sh: $1 did not take: $2 $3 does not hold $4" >&2
        exit 1
    fi
}
winpath() { WINEPREFIX="$prefix" WINEDEBUG=-all /usr/lib/wine/wine64 winepath -w "$1" </dev/null 2>/dev/null; }

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
# some WIN.INI sections to the Registry when the profile API is used).
touch "$win/win.ini" "$win/system.ini"
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
# Wine's own does not serve a group's items).
groups="$c/mxprogman-groups"
mkdir -p "$groups"
cp "$(dirname "$0")"/../tools/progman/demo-groups/group*.txt "$groups/"

# Registry references: an uninstall entry, an App Paths key, the program's own
# settings and a file type. Imported in one go (each Wine start costs time).
cat > "$prefix/quillpad-demo.reg" <<'REG'
REGEDIT4

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
step "the Registry import" regedit /S "$(winpath "$prefix/quillpad-demo.reg")"
expect "the Registry import" 'HKCU\Software\Quillpad\Settings' Home 'C:\QUILL'
expect "the Registry import" 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\QUILL.EXE' Path 'C:\QUILL'

# Its shortcuts on the Desktop and in the Start Menu, written through the
# shell's link object as its installer did (Wine's menu builder kept out).
step "the Desktop shortcut" "$root/build/win/mxshortcut.exe" desktop 'Quillpad.lnk' \
    'C:\QUILL\QUILL.EXE' '' 'C:\QUILL\DOCS' 'C:\QUILL\QUILL.EXE' 0
step "the Start Menu shortcut" "$root/build/win/mxshortcut.exe" programs 'Quillpad\Quillpad.lnk' \
    'C:\QUILL\QUILL.EXE' '/spell C:\QUILL\PLUGINS\SPELL.DLL' 'C:\QUILL' 'C:\QUILL\QUILL.EXE' 1
for lnk in "$c"/users/*/Desktop/Quillpad.lnk "$c"/users/*/AppData/Roaming/Microsoft/Windows/'Start Menu'/Programs/Quillpad/Quillpad.lnk; do
    [ -f "$lnk" ] || { echo "demo-seed.sh: a shortcut was not written: $lnk" >&2; exit 1; }
done

# Its updater as a service, and a scheduled task that starts it each day,
# registered through the service manager and the Task Scheduler. Wine's
# Task Scheduler takes the task but does not list its tasks, so the demo
# finds the service only there.
services='HKLM\System\CurrentControlSet\Services\QuillpadUpdater'
step "the service" sc create QuillpadUpdater binPath= 'C:\QUILL\QUPDATE.EXE /service /log C:\QUILL\LOGS' \
    DisplayName= 'Quillpad Updater' start= demand
expect "the service" "$services" ImagePath 'C:\QUILL\QUPDATE.EXE /service'
step "the service's description" sc description QuillpadUpdater 'Keeps Quillpad up to date. Installed in C:\QUILL'
expect "the service's description" "$services" Description 'Installed in C:\QUILL'
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
step "the scheduled task" schtasks /create /tn 'Quillpad\Update' /xml "$(winpath "$prefix/quillpad-task.xml")" /f
