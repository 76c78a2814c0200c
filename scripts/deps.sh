#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine, when it is
# missing. Needs root (or sudo) for apt-get.
set -euo pipefail

packages=(cmake ninja-build g++ mingw-w64 wine64 xvfb xauth x11-utils googletest imagemagick unrtf clang libclang-rt-14-dev liblnk-utils libreoffice-writer-nogui nsis python3 python3-yaml)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
