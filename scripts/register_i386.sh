#!/usr/bin/env bash
# Registers QEMU's user-mode emulator with the kernel for 32-bit x86 ELF programs, so
# that Wine's 32-bit loader runs on a kernel that refuses 32-bit code itself. This is
# kernel state, lost at reboot: scripts/setup.sh and the Wine tests both call this.
# Exit 0 when the entry is in place, 1 (with the reason on stderr) when it cannot be.
set -u
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/qemu-i386
emulator=/usr/bin/qemu-i386
# ELF, 32-bit, little-endian, version 1, an executable or shared object, machine i386.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

[ -x "$emulator" ] || { echo "register_i386: $emulator is missing (scripts/setup.sh installs it)" >&2; exit 1; }
if [ -f "$entry" ] && grep -qx enabled "$entry" && grep -qx "interpreter $emulator" "$entry"; then
  exit 0
fi
if [ ! -e "$binfmt/register" ]; then
  mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
    { echo "register_i386: cannot mount binfmt_misc on $binfmt (needs root)" >&2; exit 1; }
fi
# A disabled entry or one for another emulator is replaced.
if [ -f "$entry" ]; then echo -1 >"$entry" 2>/dev/null; fi
# F: the kernel keeps the emulator open, so it works inside other mount namespaces;
# P: the program keeps its own name as argument 0.
printf ':qemu-i386:M::%s:%s:%s:FP\n' "$magic" "$mask" "$emulator" >"$binfmt/register" 2>/dev/null ||
  { echo "register_i386: the kernel refused the binfmt_misc entry for $emulator (needs root)" >&2; exit 1; }
exit 0
