#!/usr/bin/env bash
# The main job: sets up the machine, builds everything, packs the sample folder into
# an archive and extracts it again with the installer's engine.
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
else
  echo "run: lumvard-pack is not built yet; built: build/native/cli/lumvard-extract, build/win32/shell/lumvard-install.exe"
fi
