#!/usr/bin/env bash
# The tool chain as shipped:
#   package_test.sh CASE SOURCE_DIR NATIVE_BUILD_DIR VERSION
#   deb          builds the Debian package, unpacks it into a temporary folder and runs
#                the tools from there: an installer built on the packaged installer
#                executable without naming it, its payload checked by the packaged
#                lumvard-extract
#   manpages     every option the tools' --help names is in their manual page
#   screenshots  the README's pictures exist
# Exit 77 (skipped) when a tool the case needs is missing.
set -u
case_name=$1
source_dir=$2
build_dir=$3
version=$4
tools=(lumvard-pack lumvard-extract lumvard-localtext)
tool_paths=(pack/lumvard-pack cli/lumvard-extract pack/localtext/lumvard-localtext)

fail() {
  echo "FAIL [$case_name]: $*" >&2
  exit 1
}
skip() {
  echo "skipped: $*"
  exit 77
}

case $case_name in
deb)
  stub=$(sed -n 's/^LUMVARD_INSTALLER_STUB:FILEPATH=//p' "$build_dir/CMakeCache.txt")
  [ -f "$stub" ] || skip "the installer executable $stub is not built (win32 preset)"
  for tool in cpack dpkg-deb dpkg-shlibdeps; do command -v $tool >/dev/null || skip "$tool is missing"; done
  work=$(mktemp -d /tmp/lumvard-package-XXXXXX)
  trap 'rm -rf "$work"' EXIT
  cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    fail "cpack failed: $(tail -n 20 "$work/cpack.log")"
  deb=$work/out/lumvard_${version}_$(dpkg --print-architecture).deb
  [ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$work/out")"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version)"
  depends=$(dpkg-deb -f "$deb" Depends)
  for library in libc6 libstdc++6; do
    grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
  done
  dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x failed"
  root=$work/root/usr
  for file in "${tools[@]/#/bin/}" share/lumvard/lumvard-install.exe share/doc/lumvard/README.md \
              "${tools[@]/#/share/man/man1/}"; do
    [[ $file == share/man/* ]] && file=$file.1.gz
    [ -f "$root/$file" ] || fail "the package lacks /usr/$file"
  done
  cmp -s "$stub" "$root/share/lumvard/lumvard-install.exe" || fail "the packaged installer executable differs"

  for tool in "${tools[@]}"; do
    "$root/bin/$tool" --version >"$work/version" 2>&1 || fail "$tool --version fails"
    grep -qF "$version" "$work/version" || fail "$tool --version says: $(cat "$work/version")"
  done

  # The packaged lumvard-pack takes the packaged installer executable, not the build's.
  "$root/bin/lumvard-pack" --help | grep -qxF "Installer executable for --exe: $root/share/lumvard/lumvard-install.exe" ||
    fail "--help names another installer executable: $("$root/bin/lumvard-pack" --help | tail -n 1)"
  mkdir -p "$work/payload/docs"
  printf 'payload readme\r\n' >"$work/payload/readme.txt"
  for i in $(seq 300); do echo "Chapter $i: copy the files, then start the setup program."; done \
    >"$work/payload/docs/manual.txt"
  "$root/bin/lumvard-pack" --exe -C "$work/payload" -o "$work/Setup.exe" . >"$work/pack.log" 2>&1 ||
    fail "lumvard-pack --exe failed: $(cat "$work/pack.log")"
  cmp -s -n "$(stat -c %s "$stub")" "$stub" "$work/Setup.exe" || fail "Setup.exe does not start with the installer"
  # --test takes no destination and writes nothing, not even into the current folder.
  mkdir "$work/empty"
  (cd "$work/empty" && "$root/bin/lumvard-extract" --test ../Setup.exe) >"$work/test.log" 2>&1 ||
    fail "lumvard-extract --test failed: $(cat "$work/test.log")"
  [ -z "$(ls -A "$work/empty")" ] || fail "--test wrote files: $(ls -A "$work/empty")"
  "$root/bin/lumvard-extract" "$work/Setup.exe" "$work/installed" >/dev/null 2>&1 || fail "extraction failed"
  diff -r "$work/payload" "$work/installed" >/dev/null || fail "the installed payload differs"
  ;;
manpages)
  checked=0
  for i in "${!tools[@]}"; do
    tool=${tools[$i]}
    page=$build_dir/man/$tool.1
    [ -f "$page" ] || skip "no $page (help2man missing)"
    help=$("$build_dir/${tool_paths[$i]}" --help 2>&1)
    text=$(sed 's/\\-/-/g' "$page")
    options=$(grep -oE -- '(^|[][ |,(])--?[A-Za-z][A-Za-z0-9-]*' <<<"$help" | sed 's/^[^-]*//' | sort -u)
    for option in $options; do
      grep -qF -- "$option" <<<"$text" || fail "$option of $tool --help is missing from $page"
      checked=$((checked + 1))
    done
  done
  [ $checked -gt 0 ] || fail "no option found in any --help"
  ;;
screenshots)
  for picture in destination progress password about; do
    file=$source_dir/docs/screenshots/$picture.png
    [ "$(head -c 8 "$file" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
      fail "$file is missing or no PNG"
  done
  ;;
*)
  fail "unknown case"
  ;;
esac
echo "passed: $case_name"
