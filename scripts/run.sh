#!/usr/bin/env bash
# The main job: sets up the machine, builds everything, packs the sample folder into
# an archive and into an installer, and extracts both again with the installer's engine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh

out=build/sample
rm -rf "$out"
mkdir -p "$out"
if [ -x build/native/pack/lumvard-pack ]; then
  build/native/pack/lumvard-pack -C scripts/sample -o "$out/sample.rar" .
  build/native/cli/lumvard-extract "$out/sample.rar" "$out/extracted"
  diff -r scripts/sample "$out/extracted"
  echo "run: the sample archive was packed and extracted into $out/extracted"

  # The product: the 32-bit installer with the sample folder and a sample setup
  # program (which says where the files went) as its payload. The payload is checked
  # and extracted here with the installer's own engine; the installer itself runs on
  # Windows (the tests run it and its 64-bit twin under Wine).
  # --exe: the installer executable this build tree made (build/win32/shell/).
  cp -r scripts/sample "$out/payload"
  cp build/win32/scripts/sample_setup/setup.exe "$out/payload/"
  build/native/pack/lumvard-pack --exe -C "$out/payload" -o "$out/setup-lumvard.exe" .
  build/native/cli/lumvard-extract --test "$out/setup-lumvard.exe" >/dev/null
  build/native/cli/lumvard-extract "$out/setup-lumvard.exe" "$out/installed" >/dev/null
  diff -r "$out/payload" "$out/installed"
  echo "run: built the installer $out/setup-lumvard.exe ($(stat -c %s "$out/setup-lumvard.exe") bytes);" \
    "its payload checks and extracts into $out/installed"

  # The tool chain as a Debian package: the tools, the installer executable, the manual pages.
  rm -f build/lumvard_*.deb
  cpack -G DEB --config build/native/CPackConfig.cmake -B build >/dev/null
  rm -rf build/_CPack_Packages
  echo "run: the Debian package is $(ls build/lumvard_*.deb) (install: apt install ./$(ls build/lumvard_*.deb))"
else
  echo "run: lumvard-pack is not built yet; built: build/native/cli/lumvard-extract, build/win32/shell/lumvard-install.exe"
fi
