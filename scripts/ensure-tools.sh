#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is missing.
# Usage: scripts/ensure-tools.sh [extra-package ...]
set -euo pipefail

packages=(cmake make g++-mingw-w64-x86-64 wine64 fonts-wine xvfb xdotool imagemagick liblnk-utils
  googletest unzip zip "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # With recommends: Wine's own fonts (fonts-wine) and the libraries its dialogs are tested with.
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
