#!/usr/bin/env bash
# Sourced: starts a private X server for the windows of the tests and the
# demo, and stops it when the calling script ends. The server picks a free
# display number itself and says which (-displayfd), so that two runs
# started together never share one, nor stop each other's.
start_xvfb() {
    local numberFile
    numberFile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numberFile" >/dev/null 2>&1 &
    MOVIX_XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$numberFile" ] && break
        kill -0 "$MOVIX_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    local n
    n=$(tr -dc '0-9' <"$numberFile")
    rm -f "$numberFile"
    if [ -z "$n" ]; then
        echo "the X server did not start" >&2
        return 1
    fi
    export DISPLAY=":$n"
    trap 'kill $MOVIX_XVFB_PID 2>/dev/null || true' EXIT
    return 0
}
