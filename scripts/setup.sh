#!/usr/bin/env bash
# Installs every Debian package the builds and the tests need, and makes 32-bit Windows
# programs runnable: Wine's 32-bit loader (wine32:i386) under QEMU's user-mode emulator,
# registered with the kernel for 32-bit x86 programs. Idempotent; when everything is
# present it only asks dpkg and returns.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ make python3
  clang libclang-rt-14-dev
  googletest libgtest-dev libbenchmark-dev zlib1g-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 xvfb xdotool imagemagick locales
  openssl osslsigncode help2man dpkg-dev
  espeak-ng sox gzip zstd xz-utils libdeflate-tools time tar
)
# The 32-bit loader of Wine, from the i386 architecture.
wine32=wine32:i386
# QEMU from the backports suite: the release's own version treats MAP_FIXED_NOREPLACE
# as a hint, and Wine stops with "failed to map the shared user data".
qemu=qemu-user
qemu_minimum=1:8

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# The Wine tests show the installer in German: Wine needs the system locale for that.
ensure_german_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "setup: no de_DE.UTF-8 locale" >&2
  fi
}

qemu_recent() {
  installed "$qemu" &&
    dpkg --compare-versions "$(dpkg-query -W -f='${Version}' "$qemu")" ge "$qemu_minimum"
}

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
backports=$codename-backports

# The URI (and key) of the Debian archive this machine already uses for its release.
debian_source() {
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk -v suite="$codename" 'BEGIN { RS = ""; FS = "\n" }
      {
        uri = ""; key = ""; match_suite = 0
        for (i = 1; i <= NF; ++i) {
          if ($i ~ /^URIs:/) { split($i, parts, /[ \t]+/); uri = parts[2] }
          if ($i ~ /^Suites:/) {
            n = split($i, parts, /[ \t]+/)
            for (j = 2; j <= n; ++j) if (parts[j] == suite) match_suite = 1
          }
          if ($i ~ /^Signed-By:/) { key = $i; sub(/^Signed-By:[ \t]*/, "", key) }
        }
        if (match_suite && uri != "") { print uri "\t" key; found = 1; exit }
      }
      END { exit !found }' "$file" && return
  done
  [ -f /etc/apt/sources.list ] || return 1
  awk -v suite="$codename" '$1 == "deb" {
      i = 2
      if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) ++i; ++i }
      if ($(i + 1) == suite) { print $i "\t"; found = 1; exit }
    }
    END { exit !found }' /etc/apt/sources.list
}

backports_enabled() {
  grep -rqsE "^[^#]*(Suites:.*[[:space:]]|deb .*[[:space:]])$backports([[:space:]]|$)" \
    /etc/apt/sources.list /etc/apt/sources.list.d/
}

enable_backports() {
  local source uri key
  source=$(debian_source) || { echo "setup: no Debian source for $codename to take the URI from" >&2; exit 1; }
  uri=${source%%$'\t'*}
  key=${source#*$'\t'}
  {
    echo "Types: deb"
    echo "URIs: $uri"
    echo "Suites: $backports"
    echo "Components: main"
    if [ -n "$key" ]; then echo "Signed-By: $key"; fi
  } | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/lumvard-backports.sources >/dev/null
}

# One question to dpkg for all of them: the packages installed, by name. dpkg-query fails
# when it has never heard of one of them, as on a fresh machine: that is an answer too.
present=$({ dpkg-query -W -f='${Status} ${binary:Package}\n' "${packages[@]}" "$wine32" 2>/dev/null || true; } |
  awk '$1 == "install" && $3 == "installed" { print $4 }')
native_architecture=$(dpkg --print-architecture)
missing=()
for package in "${packages[@]}" "$wine32"; do
  # Packages of the machine's own architecture may be listed without it.
  grep -qxF -e "$package" -e "$package:$native_architecture" <<<"$present" || missing+=("$package")
done
i386_missing=
dpkg --print-foreign-architectures | grep -qx i386 || i386_missing=yes

if [ ${#missing[@]} -gt 0 ] || [ -n "$i386_missing" ] || ! qemu_recent; then
  export DEBIAN_FRONTEND=noninteractive
  if [ -n "$i386_missing" ]; then "${sudo_cmd[@]}" dpkg --add-architecture i386; fi
  qemu_recent || backports_enabled || enable_backports
  echo "setup: installing ${missing[*]} $(qemu_recent || echo "$qemu from $backports")" >&2
  "${sudo_cmd[@]}" apt-get update -qq
  if [ ${#missing[@]} -gt 0 ]; then
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
  if ! qemu_recent; then
    "${sudo_cmd[@]}" apt-get install -y -qq -t "$backports" --no-install-recommends "$qemu" >/dev/null
  fi
fi
ensure_german_locale
# Kernel state, lost at reboot; the Wine tests register it again when it is missing.
"${sudo_cmd[@]}" bash scripts/register_i386.sh
