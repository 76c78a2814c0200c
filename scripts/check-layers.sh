#!/usr/bin/env bash
# Fails when a source file includes a header from a layer above its own, and
# names each such include. The layers, lowest first:
#   platform  thin wrappers over Win32
#   core      what the targets build on: the search thread, string rules,
#             found items, replace groups
#   targets   one module per kind of target
#   engine    the runs and reports that drive the targets
#   app       the window and its dialogs (about/ belongs here too)
# A file may include headers of its own layer and of the layers below it; the
# resource header (res/resource.h) belongs to the window alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root/src"

rank() {
    case "$1" in
    platform) echo 0 ;;
    core) echo 1 ;;
    targets) echo 2 ;;
    engine) echo 3 ;;
    app | about) echo 4 ;;
    *) echo "" ;;
    esac
}

status=0
for dir in */; do
    dir=${dir%/}
    own=$(rank "$dir")
    if [ -z "$own" ]; then
        echo "check-layers: src/$dir/ is in no layer; add it to scripts/check-layers.sh" >&2
        status=1
        continue
    fi
    while IFS=: read -r file line text; do
        target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"$text")
        if [ "$target" = resource.h ]; then
            [ "$own" -lt 4 ] && { echo "src/$file:$line: $dir includes the window's resource.h" >&2; status=1; }
            continue
        fi
        [[ "$target" == */* ]] || continue
        theirs=$(rank "${target%%/*}")
        [ -n "$theirs" ] || continue
        if [ "$theirs" -gt "$own" ]; then
            echo "src/$file:$line: $dir includes $target from a layer above it" >&2
            status=1
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$dir" || true)
done
[ $status -eq 0 ] && echo "Layers: no upward include"
exit $status
