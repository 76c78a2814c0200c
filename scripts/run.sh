#!/usr/bin/env bash
# Installs what is missing, builds, and starts the wizard. Without WINEPREFIX
# it runs in a demo prefix inside the build folder (with a HOME of its own),
# seeded with a program moved from C:\QUILL to C:\Apps\Quillpad; with
# WINEPREFIX set it runs against that prefix. Without a display it runs on a
# private X server and saves a screenshot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
MOVIX_TARGETS="movix32" "$root/scripts/build.sh"

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=/usr/lib/wine/wine64
if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX="$root/build/demo/prefix"
    export HOME="$root/build/demo/home"
    mkdir -p "$HOME"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating the demo Wine prefix in $WINEPREFIX ..."
        "$wine" wineboot -i </dev/null >/dev/null 2>&1
    fi
    "$root/scripts/demo-seed.sh" "$WINEPREFIX"
    echo "Demo: a program moved from C:\\QUILL to C:\\Apps\\Quillpad."
    echo "Enter Old: C:\\QUILL  New: C:\\Apps\\Quillpad"
    MOVIX_DEMO=1
fi

# The Windows version the wizard sees: MOVIX_WINVER=nt351 (Wine's per-program
# Version setting) shows it Windows NT 3.51, where it searches Program
# Manager groups; win95 or nt40 likewise. In the demo prefix the setting is
# removed again when none is asked for.
if [ -n "${MOVIX_WINVER:-}" ]; then
    "$wine" reg add 'HKCU\Software\Wine\AppDefaults\movix32.exe' /v Version /d "$MOVIX_WINVER" /f </dev/null >/dev/null 2>&1
elif [ -n "${MOVIX_DEMO:-}" ]; then
    "$wine" reg delete 'HKCU\Software\Wine\AppDefaults\movix32.exe' /f </dev/null >/dev/null 2>&1 || true
fi

if [ -z "${DISPLAY:-}" ]; then
    . "$root/scripts/xvfb.sh"
    start_xvfb
    mkdir -p "$root/build/demo"
    ( sleep 8; import -window root "$root/build/demo/screenshot.png" 2>/dev/null &&
      echo "No display: running on a private X server; screenshot in build/demo/screenshot.png" ) &
    # No window manager there: a Wine desktop gives the window its frame.
    desktop=(explorer /desktop=Movix32,1024x768)
else
    desktop=()
fi
if [ -n "${MOVIX_DEMO:-}" ]; then
    "$wine" "${desktop[@]}" "$root/build/win/mxprogman.exe" ProgMan /service:ProgMan '/groups:C:\mxprogman-groups' &
    sleep 2
fi
"$wine" "${desktop[@]}" "$root/build/win/movix32.exe" "$@"
# When the Wine desktop is open already (the Program Manager substitute
# opened it), the command above hands the wizard to it and returns at once:
# wait for the wizard itself before anything is ended.
wizard_running() {
    local p
    for p in $(pgrep -f 'movix32\.exe' 2>/dev/null || true); do
        { tr '\0' '\n' <"/proc/$p/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
    done
    return 1
}
while wizard_running; do sleep 1; done
# The demo's Program Manager substitute ends with the wizard.
if [ -n "${MOVIX_DEMO:-}" ]; then
    /usr/lib/wine/wineserver -k 2>/dev/null || true
fi
