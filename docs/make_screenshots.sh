#!/usr/bin/env bash
# Renews the README's pictures of the installer's dialogs from the screenshots the Wine
# tests leave in build/native/wine-artifacts. Run those tests first:
#   ctest --preset native -R 'Wine\.(destination_default|about_box|install_password|install_run)$'
set -euo pipefail
cd "$(dirname "$0")/.."
artifacts=${1:-build/native/wine-artifacts}
out=docs/screenshots
mkdir -p "$out"
for picture in destination:destination-dialog progress:progress-dialog password:password-dialog \
               about:about-box; do
  shot=$artifacts/${picture#*:}.png
  [ -f "$shot" ] || { echo "make_screenshots: no $shot; run the Wine test that takes it" >&2; exit 1; }
  # The screen around the windows is black: cut it away. A small palette and no time
  # stamps keep the files small and the same for the same screens.
  convert "$shot" -trim +repage -colors 32 -strip -define png:exclude-chunks=date,time \
    "PNG8:$out/${picture%%:*}.png"
done
ls -l "$out"
