#!/usr/bin/env bash
# Builds the Windows program (and its tests) with MinGW-w64 into build/win.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" "$@" >/dev/null
# MOVIX_TARGETS narrows the build (the run command needs the program only).
cmake --build "$root/build/win" -j 2 ${MOVIX_TARGETS:+--target $MOVIX_TARGETS}
