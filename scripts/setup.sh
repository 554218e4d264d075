#!/usr/bin/env bash
# Installs every Debian package the builds and the tests need. Idempotent; when all
# of them are present it only asks dpkg and returns.
set -euo pipefail

packages=(
  cmake ninja-build g++ make python3
  clang libclang-rt-14-dev
  googletest libgtest-dev libbenchmark-dev zlib1g-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 xvfb xdotool imagemagick locales
  espeak-ng sox gzip zstd xz-utils libdeflate-tools time tar
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

# The Wine tests show the installer in German: Wine needs the system locale for that.
ensure_german_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "setup: no de_DE.UTF-8 locale" >&2
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  ensure_german_locale
  exit 0
fi

echo "setup: installing ${missing[*]}" >&2
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
ensure_german_locale
