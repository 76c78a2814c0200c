#!/usr/bin/env bash
# Sourced: starts a private X server for the windows of the tests and the
# demo, and stops it when the calling script ends.
start_xvfb() {
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        MOVIX_XVFB_PID=$!
        for _ in $(seq 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            sleep 0.1
        done
        export DISPLAY=":$n"
        trap 'kill $MOVIX_XVFB_PID 2>/dev/null || true' EXIT
        return 0
    done
    echo "no free X display number" >&2
    return 1
}
