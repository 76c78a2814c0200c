#!/usr/bin/env bash
# Builds the release into build/win/release: a portable zip and an installer
# (NSIS), both made by CPack from what `cmake --install` lays out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
MOVIX_TARGETS="movix32 movixhlp" "$root/scripts/build.sh"
cd "$root/build/win"
cpack --config CPackConfig.cmake
ls -l "$root/build/win/release/"*.zip "$root/build/win/release/"*.exe
