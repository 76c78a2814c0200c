#!/usr/bin/env bash
# The run command keeps its demo between commands: a replacement made by one
# command is put back by the next from its undo journal (a move too, when
# the second command is not told of the move demo), /? leaves it as it is,
# and only MOVIX_DEMO_RESEED=1 seeds the demo afresh, in a new prefix. Runs
# scripts/run.sh as a user would, in a demo folder of its own.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
demo=$(mktemp -d)
cleanup() {
    WINEPREFIX="$demo/prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
    rm -rf "$demo"
}
trap cleanup EXIT
unset WINEPREFIX DISPLAY MOVIX_WINVER MOVIX_DEMO_RESEED MOVIX_DEMO_MOVE MOVIX_SCREENSHOT
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
journal_of() { printf '%s\n' "$out" | sed -n 's/^Undo journal: //p' | head -n 1; }

run "${args[@]}" /apply
[ "$code" = 0 ] || fail "apply ended with $code" "$out"
[ "$(ini_home)" = 'C:\Apps\Quillpad' ] || fail "apply left Home=$(ini_home)"
journal=$(journal_of)
[ -n "$journal" ] && [ "$journal" != none ] || fail "no undo journal named" "$out"

run "/restore:$journal"
[ "$code" = 0 ] || fail "restore ended with $code" "$out"
printf '%s\n' "$out" | grep -Eq '^[1-9][0-9]* restored, ' || fail "the restore put nothing back" "$out"
[ "$(ini_home)" = 'C:\QUILL' ] || fail "restore left Home=$(ini_home)"

# Replaced again, a later command finds nothing until it is asked to reseed.
run "${args[@]}" /apply
[ "$code" = 0 ] || fail "second apply ended with $code" "$out"
run '/?'
[ "$code" = 0 ] || fail "/? ended with $code" "$out"
run "${args[@]}"
[ "$code" = 0 ] || fail "a search after the replacement and /? ended with $code (the demo was seeded again?)" "$out"
ls "$demo"/prefix/drive_c/windows/*.BAK >/dev/null 2>&1 || fail "the replacement kept no .BAK file"
MOVIX_DEMO_RESEED=1 run "${args[@]}"
[ "$code" = 1 ] || fail "a search after MOVIX_DEMO_RESEED=1 ended with $code, not 1 (hits found)" "$out"
[ "$(ini_home)" = 'C:\QUILL' ] || fail "the reseed left Home=$(ini_home)"
! ls "$demo"/prefix/drive_c/windows/*.BAK >/dev/null 2>&1 || fail "a .BAK file of an earlier run survived the reseed"

# The move demo: moved by one command, put back by a restore that is not
# told of the move demo (as the README has it).
quill="$demo/prefix/drive_c/QUILL"
apps="$demo/prefix/drive_c/Apps/Quillpad"
MOVIX_DEMO_RESEED=1 MOVIX_DEMO_MOVE=1 run "${args[@]}" /move /apply
[ "$code" = 0 ] || fail "the move ended with $code" "$out"
[ -f "$apps/QUILL.EXE" ] && [ ! -e "$quill" ] || fail "the folder was not moved" "$out"
journal=$(journal_of)
[ -n "$journal" ] && [ "$journal" != none ] || fail "the move named no undo journal" "$out"
run '/?'
[ -f "$apps/QUILL.EXE" ] && [ ! -e "$quill" ] || fail "/? seeded the move demo again" "$out"
run "/restore:$journal"
# What counts here is that the restore found the demo as the move left it;
# its exit code also tells of the files the run rewrote inside the moved
# folder, which are another matter.
printf '%s\n' "$out" | grep -q '^Moved back the folder ' || fail "the move's restore moved nothing back" "$out"
[ -f "$quill/QUILL.EXE" ] && [ ! -e "$apps" ] || fail "the restore left the folder at New (the demo seeded again?)" "$out"
[ "$(ini_home)" = 'C:\QUILL' ] || fail "the move's restore left Home=$(ini_home)"

[ "$failed" = 0 ] && echo "The run command applied, moved, restored and reseeded its demo as asked."
exit "$failed"
