#!/usr/bin/env bash
# Runs one fuzz target for a bounded time over its seed corpus. New inputs go to a
# scratch folder, so the seeds stay as they were built; a finding is kept in the
# current folder (crash-*, timeout-*, leak-*) and fails the run.
#   run_fuzzer.sh TARGET SEED_FOLDER SECONDS [more libFuzzer options]
set -euo pipefail
target=$1
seeds=$2
seconds=$3
shift 3
# New inputs and the targets' scratch folders go below one folder removed at the end
# (libFuzzer may end the process without running its exit handlers).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
corpus=$work/corpus
mkdir "$corpus" "$work/tmp"
export TMPDIR=$work/tmp
"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1536 -max_len=200000 \
  -print_final_stats=1 "$@" "$corpus" "$seeds" 2>&1 | tail -n 80
exit "${PIPESTATUS[0]}"
