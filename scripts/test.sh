#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: unit tests, the console
# tools end to end and the installer under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh
ctest --preset native -j2
