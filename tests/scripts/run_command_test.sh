#!/usr/bin/env bash
# The run command keeps its demo between commands: a replacement made by one
# command is put back by the next from its undo journal, and only
# MOVIX_DEMO_RESEED=1 seeds the demo afresh. Runs scripts/run.sh as a user
# would, in a demo folder of its own.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
demo=$(mktemp -d)
cleanup() {
    WINEPREFIX="$demo/prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
    rm -rf "$demo"
}
trap cleanup EXIT
unset WINEPREFIX DISPLAY MOVIX_WINVER MOVIX_DEMO_RESEED MOVIX_SCREENSHOT
export MOVIX_DEMO_DIR="$demo"
ini="$demo/prefix/drive_c/windows/QUILL.INI"
args=('/old:C:\QUILL' '/new:C:\Apps\Quillpad' /ini:2 /groups:0 /shortcuts:0 /registry:0)

failed=0
fail() {
    echo "FAIL: $1" >&2
    [ -n "${2:-}" ] && printf '%s\n' "$2" | tail -20 >&2
    failed=1
}
# Runs the run command; sets out and code.
run() {
    out=$(bash "$root/scripts/run.sh" "$@" 2>&1)
    code=$?
    out=$(printf '%s' "$out" | tr -d '\r')
}
ini_home() { tr -d '\r' <"$ini" | sed -n 's/^Home=//p'; }

run "${args[@]}" /apply
[ "$code" = 0 ] || fail "apply ended with $code" "$out"
[ "$(ini_home)" = 'C:\Apps\Quillpad' ] || fail "apply left Home=$(ini_home)"
journal=$(printf '%s\n' "$out" | sed -n 's/^Undo journal: //p' | head -n 1)
[ -n "$journal" ] && [ "$journal" != none ] || fail "no undo journal named" "$out"

run "/restore:$journal"
[ "$code" = 0 ] || fail "restore ended with $code" "$out"
printf '%s\n' "$out" | grep -Eq '^[1-9][0-9]* restored, ' || fail "the restore put nothing back" "$out"
[ "$(ini_home)" = 'C:\QUILL' ] || fail "restore left Home=$(ini_home)"

# Replaced again, a later command finds nothing until it is asked to reseed.
run "${args[@]}" /apply
[ "$code" = 0 ] || fail "second apply ended with $code" "$out"
run "${args[@]}"
[ "$code" = 0 ] || fail "a search after the replacement ended with $code (the demo was seeded again?)" "$out"
MOVIX_DEMO_RESEED=1 run "${args[@]}"
[ "$code" = 1 ] || fail "a search after MOVIX_DEMO_RESEED=1 ended with $code, not 1 (hits found)" "$out"
[ "$(ini_home)" = 'C:\QUILL' ] || fail "the reseed left Home=$(ini_home)"

[ "$failed" = 0 ] && echo "The run command applied, restored and reseeded its demo as asked."
exit "$failed"
