#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, test and benchmark the engine.
# Idempotent and non-interactive; run as root (or through sudo).
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libbenchmark-dev
  libasound2-dev libavcodec-dev
  ffmpeg sox espeak-ng python3-numpy libxml2-utils libxml2-dev alsa-utils clang
  # the Windows component: MinGW-w64 cross compiler (POSIX thread model: std::thread and std::mutex), widl and Wine's IDL files, Wine to test it
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 wine64-tools libwine-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The Windows tests run the Chinese cases under zh_TW.UTF-8, from which Wine
# takes the ANSI code page 950 (Big5).
if ! locale -a 2>/dev/null | grep -qix 'zh_TW.utf8'; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  dpkg-query -W -f='${Status}' locales 2>/dev/null | grep -q 'install ok installed' ||
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends locales
  $SUDO localedef -i zh_TW -f UTF-8 zh_TW.UTF-8
fi
