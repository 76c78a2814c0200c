#!/usr/bin/env bash
# Runs a fuzz target under libFuzzer (clang), with AddressSanitizer and
# UBSan, for a given number of seconds (default 600):
#   boundary      the path-boundary rule (the default)
#   undo_journal  the undo journal reader
#   progman       Program Manager's replies and the commands rebuilt from them
#   ini_lines     the INI line reader and rewriter
#   ini_encoding  INI files through their encodings
#   path_spellings  addresses in JSON, XML, slash and file: URL spellings
#   registry_spellings  REG_MULTI_SZ lists and texts with variable references
#   config_syntax  configuration files rewritten in their syntax, read back by
#                  readers of each format (CONFIG_SYNTAX_FUZZ_KNOWN lets faults
#                  already reported pass, see the target)
# The corpus it grows is kept in build/fuzz (corpus for the boundary target,
# corpus-<target> for the others) for the next run.
#   scripts/fuzz.sh [seconds] [target]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
target=${2:-boundary}
out="$root/build/fuzz"
file="${target}_fuzz.cpp"
case "$target" in
    boundary) sources=(src/core/strings.cpp); max_len=96 ;;
    undo_journal) sources=(src/core/undo_journal.cpp); max_len=512 ;;
    progman) sources=(src/targets/progman_commands.cpp src/core/strings.cpp); max_len=96
        file=progman_reply_fuzz.cpp ;;
    ini_lines | ini_encoding)
        sources=(src/targets/ini_lines.cpp src/targets/ini_encoding.cpp src/core/strings.cpp); max_len=2048 ;;
    path_spellings) sources=(src/core/path_spellings.cpp src/core/strings.cpp); max_len=64 ;;
    registry_spellings)
        sources=(src/targets/registry_spellings.cpp src/core/strings.cpp); max_len=128 ;;
    config_syntax)
        sources=(src/targets/config_syntax.cpp src/targets/config_lexer.cpp src/core/path_spellings.cpp src/core/strings.cpp); max_len=40 ;;
    *) echo "unknown fuzz target: $target" >&2; exit 2 ;;
esac
corpus=corpus
[ "$target" = boundary ] || corpus="corpus-$target"
mkdir -p "$out/$corpus"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root/src" "$root/tests/fuzz/$file" "${sources[@]/#/$root/}" -o "$out/${target}_fuzz"
cd "$out"
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "./${target}_fuzz" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 "$corpus"
