#!/usr/bin/env bash
# Builds the sanitize preset (clang; address and undefined-behaviour checks; fuzz
# targets) and runs the unit tests under it, then every fuzz target for a few seconds
# over its seed corpus. LUMVARD_FUZZ_SECONDS sets the seconds per target (default 15).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${LUMVARD_FUZZ_SECONDS:-15}
cmake --preset sanitize -DLUMVARD_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize -j2
