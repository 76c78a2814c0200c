#!/usr/bin/env bash
# Installs what is missing, builds, and starts the wizard. Without WINEPREFIX
# it runs in a demo prefix inside the build folder (with a HOME of its own),
# seeded with a program moved from C:\QUILL to C:\Apps\Quillpad; with
# WINEPREFIX set it runs against that prefix. The demo is seeded once, when
# its prefix is new, and kept between runs, so that a replacement can be
# restored by the next command (a restore and /? never seed it);
# MOVIX_DEMO_RESEED=1 makes the prefix new and seeds it afresh, and
# MOVIX_DEMO_DIR puts the demo in another folder (default build/demo).
# MOVIX_DEMO_MOVE=1 seeds the demo with the program still in C:\QUILL, for
# a run that moves it (the first page's box, or /move); the variable counts
# when the demo is seeded, and the demo stays what it was seeded as.
# Without a display (no DISPLAY) it runs the unattended mode on the demo
# instead: a search only that prints what it found, then the replacement
# with /apply, then its log. Arguments are handed to movix32.exe (switches
# run the unattended mode; /? lists them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
MOVIX_TARGETS="movix32" "$root/scripts/build.sh"

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=/usr/lib/wine/wine64
demo="${MOVIX_DEMO_DIR:-$root/build/demo}"
if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX="$demo/prefix"
    export HOME="$demo/home"
    # The mark is left only when a seed has gone through to its end; it says
    # which demo was seeded. A prefix without it is new: made afresh, so that
    # nothing of an earlier run (a .BAK file, a journal, a moved folder) is
    # left in it.
    seeded="$WINEPREFIX/movix-demo-seeded"
    # A restore puts back what a run in this demo changed, and /? only
    # lists the switches: neither may seed (and so undo) the demo.
    keep=
    case "${1:-}" in
        /[Rr][Ee][Ss][Tt][Oo][Rr][Ee]:* | '/?') keep=1 ;;
    esac
    if [ -z "$keep" ] && { [ ! -f "$seeded" ] || [ "${MOVIX_DEMO_RESEED:-}" = 1 ]; }; then
        kind=moved
        [ "${MOVIX_DEMO_MOVE:-}" = 1 ] && kind=move
        if [ -d "$WINEPREFIX" ]; then
            /usr/lib/wine/wineserver -k 2>/dev/null || true
            /usr/lib/wine/wineserver -w 2>/dev/null || true
        fi
        # Only what the demo made is removed: a Wine prefix, and a home the
        # demo marked as its own (or the default one in the build folder).
        if [ -n "$(ls -A "$WINEPREFIX" 2>/dev/null)" ] && [ ! -f "$WINEPREFIX/system.reg" ]; then
            echo "run.sh: $WINEPREFIX is not a Wine prefix; it is left as it is and no demo is seeded" >&2
            exit 2
        fi
        rm -rf "$WINEPREFIX"
        if [ -f "$HOME/.movix-demo-home" ] || [ -z "${MOVIX_DEMO_DIR:-}" ]; then
            rm -rf "$HOME"
        fi
        mkdir -p "$HOME"
        touch "$HOME/.movix-demo-home"
        echo "Creating the demo Wine prefix in $WINEPREFIX ..."
        if ! "$wine" wineboot -i </dev/null >/dev/null 2>&1; then
            echo "run.sh: the demo's Wine prefix could not be made in $WINEPREFIX" >&2
            exit 2
        fi
        if ! MOVIX_DEMO_MOVE=$([ "$kind" = move ] && echo 1 || echo 0) "$root/scripts/demo-seed.sh" "$WINEPREFIX"; then
            echo "run.sh: the demo could not be seeded (above: the step that failed);" \
                "MOVIX_DEMO_RESEED=1 bash scripts/run.sh tries again" >&2
            exit 2
        fi
        echo "$kind" >"$seeded"
        # The seeding's server goes, so that the one kept below is persistent.
        /usr/lib/wine/wineserver -k 2>/dev/null || true
        /usr/lib/wine/wineserver -w 2>/dev/null || true
    fi
    mkdir -p "$HOME"
    kind=$(cat "$seeded" 2>/dev/null || true)
    kind=${kind:-moved}
    if [ -z "$keep" ] && [ "${MOVIX_DEMO_MOVE:-}" = 1 ] && [ "$kind" != move ]; then
        echo "This demo was seeded with the program moved already; MOVIX_DEMO_MOVE=1 counts when it is seeded:"
        echo "  MOVIX_DEMO_RESEED=1 MOVIX_DEMO_MOVE=1 bash scripts/run.sh ..."
    fi
    if [ "$kind" = move ]; then
        echo "Demo: a program still in C:\\QUILL, to be moved to C:\\Apps\\Quillpad."
        echo "Enter Old: C:\\QUILL  New: C:\\Apps\\Quillpad, and check Move the folder from Old to New for me"
    else
        echo "Demo: a program moved from C:\\QUILL to C:\\Apps\\Quillpad."
        echo "Enter Old: C:\\QUILL  New: C:\\Apps\\Quillpad"
    fi
    MOVIX_DEMO=1
    # Wine keeps a Registry key's access rules only while its server runs,
    # and an administrator's run seals its undo journal with a key whose
    # rules must let the administrators alone in: the demo's server is kept
    # running between commands, so that the journal one command writes can
    # be restored by the next. `wineserver -k` (with this WINEPREFIX) ends it.
    # Wine's background services start with it, holding no one's output open.
    if /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1; then
        "$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
    fi
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

# Switches run the unattended mode: no window, no X server needed. The
# demo's Program Manager serves its groups when the program is shown Windows
# NT 3.51 (MOVIX_WINVER=nt351).
unattended_progman() {
    if [ -n "${MOVIX_DEMO:-}" ] && [ "${MOVIX_WINVER:-}" = nt351 ]; then
        # The substitute is a window program: it gets a private X server.
        # Wine's session from the seeding had no display: it is ended, so
        # that the substitute's window opens on this one.
        if [ -z "${DISPLAY:-}" ]; then
            . "$root/scripts/xvfb.sh"
            start_xvfb
            /usr/lib/wine/wineserver -k 2>/dev/null || true
            /usr/lib/wine/wineserver -w 2>/dev/null || true
        fi
        "$wine" "$root/build/win/mxprogman.exe" ProgMan /service:ProgMan '/groups:C:\mxprogman-groups' \
            </dev/null >/dev/null 2>&1 &
        sleep 5
    fi
}
unattended_end() {
    # The Program Manager substitute ends with the run (and the server with it).
    if [ -n "${MOVIX_DEMO:-}" ] && [ "${MOVIX_WINVER:-}" = nt351 ]; then
        /usr/lib/wine/wineserver -k 2>/dev/null || true
    fi
}
if [ $# -gt 0 ] && [ "${1#/}" != "$1" ]; then
    unattended_progman
    code=0
    "$wine" "$root/build/win/movix32.exe" "$@" </dev/null || code=$?
    unattended_end
    exit $code
fi

if [ -z "${DISPLAY:-}" ] && [ $# -eq 0 ] && [ -z "${MOVIX_SCREENSHOT:-}" ]; then
    if [ -z "${MOVIX_DEMO:-}" ]; then
        echo "No display: run the unattended mode with switches, for example"
        echo "  bash scripts/run.sh '/old:C:\\OLD' '/new:C:\\NEW'"
        "$wine" "$root/build/win/movix32.exe" '/?' </dev/null || true
        exit 0
    fi
    unattended_progman
    mkdir -p "$demo"
    log="$demo/MOVIX32LOG.TXT"
    list="$demo/FOUND.RTF"
    rm -f "$log" "$list"
    winlog=$("$wine" winepath -w "$log" 2>/dev/null)
    winlist=$("$wine" winepath -w "$list" 2>/dev/null)
    move=()
    [ "$kind" = move ] && move=(/move)
    echo
    echo "No display: the unattended mode. First a search only, which changes nothing:"
    echo "  movix32 /old:C:\\QUILL /new:C:\\Apps\\Quillpad ${move[*]} /list:$winlist"
    code=0
    "$wine" "$root/build/win/movix32.exe" '/old:C:\QUILL' '/new:C:\Apps\Quillpad' "${move[@]}" "/list:$winlist" \
        </dev/null || code=$?
    echo "(exit code $code: 1 means hits were found and nothing was changed)"
    if [ "$code" = 0 ]; then
        echo "Nothing was found: the demo was replaced by an earlier run."
        echo "MOVIX_DEMO_RESEED=1 bash scripts/run.sh starts it over."
    fi
    echo
    echo "Then the replacement of every hit, with its log:"
    echo "  movix32 /old:C:\\QUILL /new:C:\\Apps\\Quillpad ${move[*]} /apply /log:$winlog"
    code=0
    "$wine" "$root/build/win/movix32.exe" '/old:C:\QUILL' '/new:C:\Apps\Quillpad' "${move[@]}" /apply "/log:$winlog" \
        </dev/null >/dev/null || code=$?
    echo "(exit code $code: 0 means replaced without error lines)"
    echo
    echo "The log, $log:"
    tr -d '\r' <"$log"
    unattended_end
    exit 0
fi

if [ -z "${DISPLAY:-}" ]; then
    . "$root/scripts/xvfb.sh"
    start_xvfb
    mkdir -p "$demo"
    ( sleep 8; import -window root "$demo/screenshot.png" 2>/dev/null &&
      echo "No display: running on a private X server; screenshot in $demo/screenshot.png" ) &
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
