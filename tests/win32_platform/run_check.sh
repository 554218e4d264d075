#!/usr/bin/env bash
# Runs the Windows file-system checks (64-bit build) under Wine in a prefix of their
# own, with a time zone that has daylight saving. Exit 77 (skipped) when the Windows
# build or Wine is not there.
set -u
program="$1"
prefix="$2"
wine=/usr/lib/wine/wine64
if [ ! -f "$program" ] || [ ! -x "$wine" ]; then
  echo "skipped: $program or $wine missing"
  exit 77
fi
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all TZ=Europe/Berlin
log="$prefix.log"
timeout 240 "$wine" "$program" >"$log" 2>&1 </dev/null
result=$?
cat "$log"
exit $result
