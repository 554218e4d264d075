#!/usr/bin/env bash
# Checks that an installer imports only libraries that Windows keeps in its list of
# known DLLs, which are always taken from the system folder: any other imported name
# would be looked for beside the installer first, where anyone can drop a file.
#   check_imports.sh INSTALLER
set -u
installer=$1
objdump=
for candidate in x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump objdump; do
  command -v $candidate >/dev/null && { objdump=$candidate; break; }
done
[ -n "$objdump" ] || { echo "skipped: objdump is missing"; exit 77; }

known="advapi32 comdlg32 gdi32 gdiplus imagehlp imm32 kernel32 msvcrt ole32 oleaut32
shell32 shlwapi user32 ws2_32"
imports=$("$objdump" -p "$installer" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr 'A-Z' 'a-z' | tr -d '\r')
[ -n "$imports" ] || { echo "FAIL: no import table read from $installer"; exit 1; }
status=0
for library in $imports; do
  grep -qw "${library%.dll}" <<<"$known" || { echo "FAIL: $installer imports $library"; status=1; }
done
# Delay-loaded libraries are searched for the same way.
if "$objdump" -p "$installer" | awk '/Delay Import Directory/ && $3 !~ /^0+$/ { found = 1 } END { exit !found }'; then
  echo "FAIL: $installer has delay-loaded imports"
  status=1
fi
[ $status = 0 ] && echo "passed: imports $(echo $imports)"
exit $status
