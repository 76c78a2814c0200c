#!/usr/bin/env bash
# Runs a fuzz target under libFuzzer (clang), with AddressSanitizer and
# UBSan, for a given number of seconds (default 600): "boundary" (the
# path-boundary rule, the default) or "undo_journal" (the journal reader).
# The corpus it grows is kept in build/fuzz (corpus, corpus-undo_journal) for
# the next run.
#   scripts/fuzz.sh [seconds] [target]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
target=${2:-boundary}
case "$target" in
boundary) sources=("$root/src/core/strings.cpp") max_len=96 ;;
undo_journal) sources=("$root/src/core/undo_journal.cpp") max_len=512 ;;
*) echo "unknown fuzz target: $target" >&2; exit 2 ;;
esac
out="$root/build/fuzz"
corpus="$out/corpus${target#boundary}"
[ "$target" = boundary ] || corpus="$out/corpus-$target"
mkdir -p "$corpus"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root/src" "$root/tests/fuzz/${target}_fuzz.cpp" "${sources[@]}" -o "$out/${target}_fuzz"
cd "$out"
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "./${target}_fuzz" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 "$corpus"
