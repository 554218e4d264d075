#!/usr/bin/env bash
# Configures and builds the three builds: native, win32 (the product), win64 (its twin
# for Wine). Warnings are errors here, so every build stays warning-free.
set -euo pipefail
cd "$(dirname "$0")/.."

for preset in native win32 win64; do
  cmake --preset "$preset" -DLUMVARD_WERROR=ON >/dev/null
  cmake --build --preset "$preset"
done
