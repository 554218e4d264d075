#!/usr/bin/env bash
# Makes a delay-load import library for a system DLL out of its ordinary import
# library: every function it exports, bound at its first call instead of at the start.
#   delay_import.sh NM DLLTOOL IMPORT_LIBRARY DLL_NAME OUTPUT UNDERSCORE
# UNDERSCORE is "yes" for 32-bit x86, whose C names carry a leading underscore.
set -euo pipefail
nm=$1
dlltool=$2
import_library=$3
dll=$4
output=$5
underscore=$6

definitions=${output%.a}.def
{
  echo "LIBRARY $dll"
  echo "EXPORTS"
  "$nm" -g --defined-only "$import_library" 2>/dev/null |
    awk -v underscore="$underscore" '$2 == "I" && $3 ~ /^__imp_/ {
      name = substr($3, 7)
      if (underscore == "yes") sub(/^_/, "", name)
      if (!(name in seen)) { seen[name] = 1; print name }
    }'
} >"$definitions"
[ "$(wc -l <"$definitions")" -gt 2 ] || { echo "delay_import: no functions in $import_library" >&2; exit 1; }
rm -f "$output"
"$dlltool" --kill-at --input-def "$definitions" --dllname "$dll" --output-delaylib "$output"
