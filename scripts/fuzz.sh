#!/usr/bin/env bash
# Runs a fuzz target under libFuzzer (clang), with AddressSanitizer and
# UBSan, for a given number of seconds (default 600): the path-boundary rule
# (boundary, the default), the INI line reader and rewriter (ini_lines) or
# INI files through their encodings (ini_encoding). The corpus it grows is
# kept in build/fuzz for the next run.
#   scripts/fuzz.sh [seconds] [target]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
target=${2:-boundary}
out="$root/build/fuzz"
case "$target" in
    boundary) sources=(src/core/strings.cpp); max_len=96; corpus=corpus ;;
    ini_lines | ini_encoding)
        sources=(src/targets/ini_lines.cpp src/targets/ini_encoding.cpp src/core/strings.cpp)
        max_len=2048; corpus="corpus-$target" ;;
    *) echo "unknown fuzz target: $target" >&2; exit 2 ;;
esac
mkdir -p "$out/$corpus"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root/src" "$root/tests/fuzz/${target}_fuzz.cpp" "${sources[@]/#/$root/}" -o "$out/${target}_fuzz"
cd "$out"
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "./${target}_fuzz" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 "$corpus"
