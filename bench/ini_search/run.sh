#!/bin/sh
# Runs the INI search benchmark under Wine, then native grep -rli over the
# same tree for context (Wine's file layer costs the difference).
#   run.sh <wine-run.sh> <ini_search_bench.exe> <unix path of C:\movix_ini_bench>
set -e
RUN="$1"; EXE="$2"; TREE="$3"; shift 3
"$RUN" "$EXE" --root 'C:\movix_ini_bench' "$@"
best=""
for i in 1 2 3; do
    start=$(date +%s%N)
    files=$(grep -rli 'c:\\oldapp' "$TREE" | wc -l)
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
done
echo "  native grep -rli over the same tree: best of 3 ${best} ms ($files files match, INI and other)"
