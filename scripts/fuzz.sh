#!/usr/bin/env bash
# Runs the path-boundary fuzz target under libFuzzer (clang), with
# AddressSanitizer and UBSan, for a given number of seconds (default 600).
# The corpus it grows is kept in build/fuzz/corpus for the next run.
#   scripts/fuzz.sh [seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
out="$root/build/fuzz"
mkdir -p "$out/corpus"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root/src" "$root/tests/fuzz/boundary_fuzz.cpp" "$root/src/core/strings.cpp" -o "$out/boundary_fuzz"
cd "$out"
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ./boundary_fuzz -max_total_time="$seconds" -max_len=96 -print_final_stats=1 corpus
