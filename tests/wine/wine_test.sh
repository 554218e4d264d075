#!/usr/bin/env bash
# One test of the installer under Wine in Xvfb, run against one of its builds:
#   wine_test.sh CASE SOURCE_DIR NATIVE_BUILD_DIR [win64|win32]
# win64 (the default) is the 64-bit twin, win32 the product itself, which Wine's 32-bit
# loader runs under QEMU's user-mode emulator. The probe that reads the dialogs is
# always the 64-bit one. Every case runs in its own copy of a Wine prefix that is
# initialised once, with its own X display, and leaves screenshots in
# NATIVE_BUILD_DIR/wine-artifacts (those of the 32-bit build begin with "win32-").
# Exit 77 (skipped) when Wine, Xvfb, xdotool or the Windows build is missing. When
# 32-bit programs cannot run the win32 cases fail, saying why, unless
# LUMVARD_SKIP_WIN32_RUN=1 skips them.
set -u
case_name=$1
source_dir=$2
native_dir=$3
build=${4:-win64}

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
installer=$source_dir/build/$build/shell/lumvard-install.exe
probe_exe=$source_dir/build/win64/tests/wine/probe/probe.exe
localtext=$native_dir/pack/localtext/lumvard-localtext
pack=$native_dir/pack/lumvard-pack
setup_exe=$source_dir/build/$build/tests/wine/probe/setup.exe
planted_dir=$source_dir/build/$build/tests/wine/probe/planted
artifacts=$native_dir/wine-artifacts
template=$native_dir/wine-prefix-template
shot_prefix=
# Seconds to wait for a window or for the end of the installer; the emulated 32-bit
# build starts in about 5 seconds, 12 the first time in a prefix.
patience=20
if [ "$build" = win32 ]; then
  shot_prefix=win32-
  patience=60
fi

[ -e "$installer" ] || { echo "skipped: $installer is missing"; exit 77; }
if [ "$case_name" = imports ]; then
  exec bash "$source_dir/tests/wine/check_imports.sh" "$installer"
fi
needed_files=("$wine" "$wineserver" "$probe_exe")
# The 32-bit test setup program is what shows that 32-bit programs run in the prefix.
[ "$build" = win32 ] && needed_files+=("$setup_exe")
for needed in "${needed_files[@]}"; do
  [ -e "$needed" ] || { echo "skipped: $needed is missing"; exit 77; }
done
for tool in Xvfb xdotool import; do
  command -v $tool >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
if [ "$build" = win32 ] && [ "${LUMVARD_SKIP_WIN32_RUN:-0}" = 1 ]; then
  echo "skipped: LUMVARD_SKIP_WIN32_RUN=1"
  exit 77
fi

export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d /tmp/lumvard-wine-XXXXXX)
prefix=$work/prefix
xvfb_pid=
installer_pid=

cleanup() {
  [ -n "$installer_pid" ] && kill "$installer_pid" 2>/dev/null
  WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL [$case_name]: $*" >&2
  shot "failure-$case_name"
  for log in "$work/probe.log" "$work/installer.log"; do
    [ -s "$log" ] && { echo "--- $(basename "$log"):"; tail -n 20 "$log"; } >&2
  done
  exit 1
}

# Whether a 32-bit program runs in the prefix: the test setup program started there
# must leave its record. Its output is kept in $work/start32.log.
runs_32bit() {
  local folder=$1/drive_c/lumvard-start32
  mkdir -p "$folder" && cp "$setup_exe" "$folder/setup.exe" || return 1
  ( cd "$folder" && WINEPREFIX=$1 timeout 120 "$wine" 'C:\lumvard-start32\setup.exe' ) \
    >"$work/start32.log" 2>&1
  WINEPREFIX=$1 "$wineserver" -w
  local started=1
  [ -s "$folder/started.txt" ] && started=0
  rm -rf "$folder"
  return $started
}

make_template() {
  rm -rf "$template"
  WINEPREFIX=$template timeout 180 "$wine" wineboot -i >/dev/null 2>&1
  WINEPREFIX=$template "$wineserver" -w
  touch "$template/.ready"
}

# Why 32-bit programs do not run here, for the failure message.
why_not_32bit() {
  [ -x /usr/bin/qemu-i386 ] || { echo "qemu-i386 is not installed"; return; }
  [ -x /usr/lib/wine/wine ] || { echo "Wine's 32-bit loader (wine32:i386) is not installed"; return; }
  grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null ||
    { echo "no binfmt_misc entry runs 32-bit programs with qemu-i386"; return; }
  echo "a 32-bit program started in the prefix left no record: $(tail -n 3 "$work/start32.log" | tr '\n' ' ')"
}

# The prefix template: made once, then copied per test (files hard-linked, the
# registry files copied, as only they are rewritten). A prefix made while 32-bit
# programs could not run has no 32-bit system folder; it is made again then. The first
# 32-bit start in a prefix is slow, so the template takes it once for all copies.
make_prefix() {
  local emulated=ok
  if [ -x /usr/bin/qemu-i386 ]; then
    # The emulator must be registered before a prefix is made, for every build.
    emulated=$(bash "$source_dir/scripts/register_i386.sh" 2>&1) && emulated=ok
  elif [ "$build" = win32 ]; then
    emulated="qemu-i386 is not installed"
  fi
  if [ "$build" = win32 ] && [ "$emulated" != ok ]; then
    fail "32-bit programs cannot run: $emulated. Run scripts/setup.sh (as root), or set LUMVARD_SKIP_WIN32_RUN=1"
  fi
  (
    flock 9
    [ -f "$template/.ready" ] || make_template
    if [ "$build" = win32 ] && [ -f "$template/.ready" ] && [ ! -f "$template/.ready32" ]; then
      if runs_32bit "$template" || { make_template && runs_32bit "$template"; }; then
        touch "$template/.ready32"
      fi
    fi
    cp -al "$template" "$prefix"
    for registry in "$prefix"/*.reg; do
      rm -f "$registry" && cp "$template/$(basename "$registry")" "$registry"
    done
  ) 9>"$template.lock"
  [ -f "$prefix/.ready" ] || fail "could not initialise the Wine prefix"
  if [ "$build" = win32 ] && [ ! -f "$prefix/.ready32" ]; then
    fail "32-bit programs do not run under Wine: $(why_not_32bit). Run scripts/setup.sh (as root), or set LUMVARD_SKIP_WIN32_RUN=1"
  fi
  rm -f "$prefix/.ready" "$prefix/.ready32"
  mkdir -p "$prefix/drive_c/inst"
  cp "$installer" "$prefix/drive_c/inst/lumvard-install.exe"
  export WINEPREFIX=$prefix
}

start_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || fail "Xvfb did not start"
  export DISPLAY=:$(head -n1 "$work/display")
}

# installer_overrides, when set, joins WINEDLLOVERRIDES for the installer alone.
start_installer() {
  local overrides=$WINEDLLOVERRIDES${installer_overrides:+;$installer_overrides}
  ( cd "$prefix/drive_c" && WINEDLLOVERRIDES=$overrides exec "$wine" 'C:\inst\lumvard-install.exe' ) \
    >"$work/installer.log" 2>&1 &
  installer_pid=$!
}

# Waits for the installer to end and sets exit_code.
wait_installer() {
  for _ in $(seq $((patience * 10))); do
    if ! kill -0 "$installer_pid" 2>/dev/null; then
      wait "$installer_pid"
      exit_code=$?
      installer_pid=
      return
    fi
    sleep 0.1
  done
  fail "the installer did not end; its boxes read: $(probe texts "Advanced Lumvard" 2>/dev/null)"
}

probe() {
  timeout $((patience + 10)) "$wine" "$probe_exe" "$@" 2>>"$work/probe.log" | tr -d '\r'
  return "${PIPESTATUS[0]}"
}

wait_window() {
  probe wait "$1" "${2:-$patience}" || fail "no window titled '$1'"
}

expect_item() {  # title, item id, expected text
  local actual
  actual=$(probe text "$1" "$2") || fail "cannot read item $2 of '$1'"
  [ "$actual" = "$3" ] || fail "item $2 of '$1' reads '$actual', expected '$3'"
}

# X window of a title (exact), retried while the window comes up.
x_window() {
  local id
  for _ in $(seq 50); do
    id=$(xdotool search --name "^$1\$" 2>/dev/null | tail -n1)
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.2
  done
  fail "xdotool finds no window '$1'"
}

press() {  # title, key
  xdotool key --window "$(x_window "$1")" "$2" 2>/dev/null || fail "cannot press $2 in '$1'"
}

shot() {
  mkdir -p "$artifacts"
  sleep 0.3
  import -window root "$artifacts/$shot_prefix$1.png" 2>/dev/null || true
}

expect_clean_exit() {
  wait_installer
  [ "$exit_code" = 0 ] || fail "exit code $exit_code, expected 0"
  [ ! -e "$prefix/drive_c/LUMVARD" ] || fail "C:\\LUMVARD was created"
}

# An installer made by lumvard-pack from the installer under test, with a payload
# holding a setup program that records its start, and companion files beside it
# unless companions=no; large_mb=N adds a file of N MiB. Arguments: lumvard-pack options.
build_installer() {
  for needed in "$pack" "$setup_exe"; do
    [ -e "$needed" ] || { echo "skipped: $needed is missing"; exit 77; }
  done
  local payload=$work/payload
  mkdir -p "$payload/docs"
  printf 'payload readme\r\n' >"$payload/readme.txt"
  for i in $(seq 400); do echo "Chapter $i: copy the files, then start the setup program."; done \
    >"$payload/docs/manual.txt"
  printf '[lumvard]\r\nfrom=payload\r\n' >"$payload/lumvar.ini"
  cp "$setup_exe" "$payload/setup.exe"
  [ -n "${large_mb:-}" ] && head -c "${large_mb}M" /dev/zero >"$payload/docs/large.bin"
  "$pack" --installer "$installer" "$@" -C "$payload" -o "$prefix/drive_c/inst/lumvard-install.exe" . \
    >"$work/pack.log" 2>&1 || fail "lumvard-pack failed: $(cat "$work/pack.log")"
  [ "${companions:-yes}" = no ] && return
  printf 'companion notes\r\n' >"$prefix/drive_c/inst/notes.txt"
  printf '[lumvard]\r\nfrom=companion\r\n' >"$prefix/drive_c/inst/lumvar.ini"
}

# Types the destination into the destination dialog and confirms it.
confirm_destination() {
  wait_window "$title"
  probe settext "$title" 110 "$1" || fail "cannot type the path"
  press "$title" Return
}

# Waits for a message box of the application whose text contains $1, then closes it
# with its OK button; $2, when given, names a screenshot taken first. The box's texts
# are left in box_text.
answer_box() {
  local box="Advanced Lumvard"
  for _ in $(seq 100); do
    box_text=$(probe texts "$box" 2>/dev/null)
    if grep -qF "$1" <<<"$box_text"; then
      [ -n "${2:-}" ] && shot "$2"
      press "$box" Return
      return
    fi
    sleep 0.2
  done
  fail "no box reading '$1': $(probe texts "$box" 2>/dev/null)"
}

expect_file() {  # path below drive C (slashes), expected contents
  local actual
  actual=$(cat "$prefix/drive_c/$1" 2>/dev/null) || fail "C:/$1 is missing"
  [ "$actual" = "$2" ] || fail "C:/$1 reads '$actual', expected '$2'"
}

# Waits for the setup program's record in a folder below drive C (slashes) and
# compares it: command line, working directory, argument count, argument 0.
expect_started() {
  local record=$prefix/drive_c/$1/started.txt
  for _ in $(seq $((patience * 10))); do
    [ -s "$record" ] && break
    sleep 0.1
  done
  [ -s "$record" ] || fail "setup.exe left no record in C:/$1"
  started=$(tr -d '\r' <"$record")
  [ "$started" = "$2" ] || fail "setup.exe started as: $started"
}

expect_extracted() {  # folder below drive C
  expect_file "$1/readme.txt" $'payload readme\r'
  cmp -s "$work/payload/docs/manual.txt" "$prefix/drive_c/$1/docs/manual.txt" ||
    fail "C:/$1/docs/manual.txt differs from the payload"
  [ ! -f "$work/payload/docs/large.bin" ] ||
    cmp -s "$work/payload/docs/large.bin" "$prefix/drive_c/$1/docs/large.bin" ||
    fail "C:/$1/docs/large.bin differs from the payload"
}

# The progress dialog alone, taken as screenshot $1: once a temporary output file below
# drive C holds 128 MiB (half of the large file), the installer is held still (SIGSTOP)
# for the picture and then let go on.
shot_while_extracting() {
  for _ in $(seq $((patience * 50))); do
    if [ -n "$(find "$prefix/drive_c" -maxdepth 3 -path "$prefix/drive_c/windows" -prune -o \
                 -name 'lv*.tmp' -size +128M -print 2>/dev/null)" ]; then
      kill -STOP "$installer_pid"
      shot "$1"
      kill -CONT "$installer_pid"
      return
    fi
    kill -0 "$installer_pid" 2>/dev/null || break
    sleep 0.02
  done
  fail "no progress dialog seen while extracting: no large temporary file was written"
}

rm -f "$artifacts/${shot_prefix}failure-$case_name.png"
title="Advanced Lumvard Install"
make_prefix
start_display

case $case_name in
destination_default)
  start_installer
  wait_window "$title"
  expect_item "$title" 110 'C:\LUMVARD'
  [ "$(probe selection "$title" 110)" = "0 10" ] || fail "the proposed folder is not selected"
  expect_item "$title" 1110 "Please enter the path, where to install this version."
  shot destination-dialog
  press "$title" Escape
  expect_clean_exit
  ;;
cancel_button)
  start_installer
  wait_window "$title"
  probe click "$title" 2 || fail "cannot click Cancel"
  expect_clean_exit
  ;;
cdrom_refused)
  # Drive D: is a CD-ROM in this prefix.
  mkdir -p "$work/cdrom"
  ln -s "$work/cdrom" "$prefix/dosdevices/d:"
  printf '\n[Software\\\\Wine\\\\Drives] 1700000000\n"d:"="cdrom"\n' >>"$prefix/system.reg"
  start_installer
  wait_window "$title"
  probe settext "$title" 110 'D:\Some\Deep\Folder' || fail "cannot type the path"
  press "$title" Return
  wait_window "Advanced Lumvard"
  probe texts "Advanced Lumvard" | grep -qF 'You can not install in D:\!' ||
    fail "no refusal box: $(probe texts "Advanced Lumvard")"
  shot destination-cdrom-refused
  press "Advanced Lumvard" Return
  probe gone "Advanced Lumvard" || fail "the box stays"
  expect_item "$title" 110 'C:\LUMVARD'
  [ "$(probe selection "$title" 110)" = "0 10" ] || fail "the default folder is not selected"
  press "$title" Escape
  expect_clean_exit
  ;;
local_text)
  # The system language (English) is the second in the file; the first is not used.
  printf 'language de\n1 = Lumvard Falsch\n2 = C:\\FALSCH\nlanguage en\n1 = Lumvard Deluxe\n2 = C:\\DELUXE\n' \
    >"$work/texts"
  if [ -x "$localtext" ]; then
    "$localtext" "$work/texts" "$prefix/drive_c/inst/lmvtid.tdx" || fail "lumvard-localtext failed"
  else
    echo "skipped: $localtext is missing"
    exit 77
  fi
  start_installer
  wait_window "Lumvard Deluxe Install"
  expect_item "Lumvard Deluxe Install" 110 'C:\DELUXE'
  shot destination-local-text
  press "Lumvard Deluxe Install" Escape
  expect_clean_exit
  ;;
about_box)
  start_installer
  wait_window "$title"
  # Nothing in the program sends the About command: the probe posts it.
  probe command "$title" 1100 || fail "cannot post the About command"
  about="About Lumvard Install"
  wait_window "$about"
  expect_item "$about" 100 "Lumvard Software"
  expect_item "$about" 101 "Lumvard Installer"
  expect_item "$about" 102 "4, 1, 0, 1"
  expect_item "$about" 103 "Copyright (C) 2026 Lumvard Software"
  expect_item "$about" 104 "Lumvard is a trademark of Lumvard Software."
  shot about-box
  press "$about" Return
  probe gone "$about" || fail "the About box stays open"
  press "$title" Escape
  expect_clean_exit
  ;;
german)
  export LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8
  start_installer
  german="Installation von Advanced Lumvard"
  wait_window "$german"
  expect_item "$german" 1110 "Bitte geben Sie den Installationspfad ein."
  expect_item "$german" 1111 "Pfad:"
  expect_item "$german" 2 "&Abbrechen"
  expect_item "$german" 200 "&Durchsuchen"
  expect_item "$german" 110 'C:\LUMVARD'
  shot destination-dialog-german
  # The About box reads the German table of the version block.
  probe command "$german" 1100 || fail "cannot post the About command"
  wait_window "~Lumvard-Installation"
  expect_item "~Lumvard-Installation" 101 "Lumvard-Installationsprogramm"
  shot about-box-german
  probe click "~Lumvard-Installation" 1
  probe gone "~Lumvard-Installation" || fail "the About box stays open"
  press "$german" Escape
  expect_clean_exit
  ;;
browse)
  # Picking any file in a folder makes that folder, with its backslash, the destination.
  start_installer
  wait_window "$title"
  probe settext "$title" 110 'C:\inst' || fail "cannot type the path"
  probe click "$title" 200 || fail "cannot click Browse"
  wait_window "Open"
  expect_item "Open" 1136 "All Files(*.*)"
  shot file-open-dialog
  xdotool type --window "$(x_window Open)" "lumvard-install.exe" 2>/dev/null
  press "Open" Return
  probe gone "Open" || fail "the file dialog stays open"
  expect_item "$title" 110 'C:\inst\'
  press "$title" Escape
  expect_clean_exit
  ;;
background_picture)
  # A picture smaller than the screen: a framed backdrop window, shown and centred.
  convert -size 400x300 gradient:'#3050a0-#f0c020' BMP3:"$prefix/drive_c/inst/vivedu.bmp" ||
    fail "cannot draw the picture"
  start_installer
  wait_window "Advanced Lumvard"
  wait_window "$title"
  rect=$(probe rect "Advanced Lumvard")
  [ "$rect" = "312 234 712 534" ] || fail "backdrop at $rect, expected 312 234 712 534"
  shot background-picture
  press "$title" Escape
  expect_clean_exit
  ;;
local_text_windows_folder)
  # Nothing beside the installer: the Windows folder's file is used.
  printf 'language en\n1 = Lumvard Windows\n' >"$work/texts"
  [ -x "$localtext" ] || { echo "skipped: $localtext is missing"; exit 77; }
  "$localtext" "$work/texts" "$prefix/drive_c/windows/lmvtid.tdx" || fail "lumvard-localtext failed"
  start_installer
  wait_window "Lumvard Windows Install"
  # No entry 2 in the file: the built-in folder.
  expect_item "Lumvard Windows Install" 110 'C:\LUMVARD'
  press "Lumvard Windows Install" Escape
  expect_clean_exit
  ;;
install_run)
  # A destination with a trailing backslash and a space: the setup program, started
  # without the installer waiting for it, gets its path quoted as one argument.
  # On the 64-bit twin a large stored file keeps the progress dialog up for a moment,
  # for its picture; the emulated 32-bit build keeps the small payload.
  if [ "$build" = win64 ]; then
    large_mb=256 build_installer --method store
  else
    build_installer
  fi
  # Links that someone else left in the destination under companion names: the copies
  # replace the links themselves, the files they lead to stay as they were.
  printf 'guide\r\n' >"$prefix/drive_c/inst/guide.wri"
  mkdir -p "$prefix/drive_c/Lumvard Target"
  printf 'outside\n' >"$prefix/drive_c/outside-hard.txt"
  printf 'outside\n' >"$prefix/drive_c/outside-link.txt"
  ln "$prefix/drive_c/outside-hard.txt" "$prefix/drive_c/Lumvard Target/notes.txt"
  ln -s "$prefix/drive_c/outside-link.txt" "$prefix/drive_c/Lumvard Target/guide.wri"
  start_installer
  confirm_destination 'C:\Lumvard Target\'
  [ "$build" = win64 ] && shot_while_extracting progress-dialog
  wait_installer
  [ "$exit_code" = 0 ] || fail "exit code $exit_code, expected 0"
  expect_started "Lumvard Target" \
    $'"C:\\LUMVARD TARGET\\setup.exe"\nC:\\LUMVARD TARGET\n1\nC:\\LUMVARD TARGET\\setup.exe'
  expect_extracted "Lumvard Target"
  # The companion files beside the installer are copied, and win over the payload's.
  expect_file "Lumvard Target/notes.txt" $'companion notes\r'
  expect_file "Lumvard Target/lumvar.ini" $'[lumvard]\r\nfrom=companion\r'
  expect_file "Lumvard Target/guide.wri" $'guide\r'
  expect_file outside-hard.txt outside
  expect_file outside-link.txt outside
  [ ! -L "$prefix/drive_c/Lumvard Target/guide.wri" ] || fail "guide.wri is still a link"
  [ ! -e "$prefix/drive_c/Lumvard Target/lumvard-install.exe" ] || fail "the installer copied itself"
  ;;
install_drive_root)
  # A drive root loses its backslash: extraction into C:, the setup program started as
  # C:\setup.exe in drive C's current folder, which is still the installer's own.
  # Nothing beside the installer to copy: the run still succeeds.
  companions=no build_installer
  start_installer
  confirm_destination 'c:\'
  wait_installer
  [ "$exit_code" = 0 ] || fail "exit code $exit_code, expected 0"
  expect_started inst $'C:\\setup.exe\nC:\\inst\n1\nC:\\setup.exe'
  expect_extracted .
  expect_file lumvar.ini $'[lumvard]\r\nfrom=payload\r'
  ;;
install_password)
  build_installer --password 'open sesame'
  start_installer
  confirm_destination 'C:\Secret'
  wait_window "Lumvard Install"
  shot password-dialog
  probe settext "Lumvard Install" 111 'open sesame' || fail "cannot type the password"
  probe click "Lumvard Install" 1 || fail "cannot click OK"
  wait_installer
  [ "$exit_code" = 0 ] || fail "exit code $exit_code, expected 0"
  expect_extracted Secret
  ;;
install_password_cancel)
  build_installer --password 'open sesame'
  start_installer
  confirm_destination 'C:\Secret'
  wait_window "Lumvard Install"
  probe click "Lumvard Install" 2 || fail "cannot click Cancel"
  wait_installer
  [ "$exit_code" = 255 ] || fail "exit code $exit_code, expected 255"
  [ ! -e "$prefix/drive_c/Secret/readme.txt" ] || fail "a file was extracted without the password"
  [ ! -e "$prefix/drive_c/Secret/started.txt" ] || fail "setup.exe was started"
  ;;
install_damaged)
  build_installer --method store
  # One byte of readme.txt's stored data changed: its checksum fails.
  exe=$prefix/drive_c/inst/lumvard-install.exe
  offset=$(grep -obUaF 'payload readme' "$exe" | head -n1 | cut -d: -f1)
  [ -n "$offset" ] || fail "the stored readme is not in the installer"
  printf 'P' | dd of="$exe" bs=1 seek="$offset" conv=notrunc status=none
  start_installer
  confirm_destination 'C:\Broken'
  answer_box "CRC failed"
  answer_box "Total errors: 1"
  answer_box 'Extraction Error #3!' extraction-error-box
  grep -qF 'Installation process aborted!' <<<"$box_text" || fail "the error box reads: $box_text"
  wait_installer
  [ "$exit_code" = 3 ] || fail "exit code $exit_code, expected 3"
  [ ! -e "$prefix/drive_c/Broken/notes.txt" ] || fail "companion files were copied after a failure"
  [ ! -e "$prefix/drive_c/Broken/started.txt" ] || fail "setup.exe was started after a failure"
  ;;
dll_planted)
  # Libraries named like the common controls and the version reader beside the
  # installer, with the system's search order (the folder of the program first): the
  # installer loads neither, and the About box and the progress bar still work.
  build_installer
  cp "$planted_dir/version.dll" "$planted_dir/comctl32.dll" "$prefix/drive_c/inst/" ||
    fail "the planted libraries are not built"
  installer_overrides="version,comctl32=n,b"
  start_installer
  wait_window "$title"
  probe command "$title" 1100 || fail "cannot post the About command"
  wait_window "About Lumvard Install"
  expect_item "About Lumvard Install" 102 "4, 1, 0, 1"
  press "About Lumvard Install" Return
  probe gone "About Lumvard Install" || fail "the About box stays open"
  confirm_destination 'C:\Planted'
  wait_installer
  [ "$exit_code" = 0 ] || fail "exit code $exit_code, expected 0"
  for planted in version comctl32; do
    [ ! -e "$prefix/drive_c/inst/$planted.dll.loaded" ] || fail "the planted $planted.dll was loaded"
  done
  expect_extracted Planted
  ;;
signed)
  # A code signature appended to the installer is no part of its archive.
  for tool in openssl osslsigncode; do
    command -v $tool >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
  done
  build_installer
  exe=$prefix/drive_c/inst/lumvard-install.exe
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Lumvard Test Signing" \
    -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/sign.log" 2>&1 ||
    fail "openssl cannot make a certificate: $(cat "$work/sign.log")"
  osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Lumvard" -h sha256 \
    -in "$exe" -out "$work/signed.exe" >>"$work/sign.log" 2>&1 ||
    fail "osslsigncode cannot sign: $(cat "$work/sign.log")"
  osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >>"$work/sign.log" 2>&1 ||
    fail "the signature is not accepted: $(tail -n 5 "$work/sign.log")"
  mv "$work/signed.exe" "$exe"
  start_installer
  confirm_destination 'C:\Signed'
  wait_installer
  [ "$exit_code" = 0 ] || fail "exit code $exit_code, expected 0"
  expect_extracted Signed
  expect_started Signed $'C:\\SIGNED\\setup.exe\nC:\\SIGNED\n1\nC:\\SIGNED\\setup.exe'
  ;;
*)
  fail "unknown case"
  ;;
esac
echo "passed: $case_name"
