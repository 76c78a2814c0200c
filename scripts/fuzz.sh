#!/usr/bin/env bash
# Runs a fuzz target under libFuzzer (clang), with AddressSanitizer and UBSan,
# for a given number of seconds (default 600): "boundary" (the path-boundary
# rule, the default) or "progman" (Program Manager's replies and the commands
# rebuilt from them). The corpus it grows is kept in build/fuzz/corpus (the
# boundary target's) or build/fuzz/<target>-corpus for the next run.
#   scripts/fuzz.sh [seconds] [target]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
target=${2:-boundary}
out="$root/build/fuzz"
case "$target" in
    boundary) sources=("$root/tests/fuzz/boundary_fuzz.cpp" "$root/src/core/strings.cpp"); corpus=corpus ;;
    progman) sources=("$root/tests/fuzz/progman_reply_fuzz.cpp" "$root/src/targets/progman_commands.cpp"
                      "$root/src/core/strings.cpp"); corpus=progman-corpus ;;
    *) echo "unknown fuzz target: $target" >&2; exit 2 ;;
esac
mkdir -p "$out/$corpus"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root/src" "${sources[@]}" -o "$out/${target}_fuzz"
cd "$out"
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "./${target}_fuzz" -max_total_time="$seconds" -max_len=96 -print_final_stats=1 "$corpus"
