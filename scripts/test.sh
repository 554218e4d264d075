#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: unit tests, the console
# tools end to end and the installer under Wine, then the unit tests again under the
# sanitizers with a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh
ctest --preset native -j2
bash scripts/sanitize.sh
