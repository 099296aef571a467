#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, test, benchmark and package
# the Linux engine. Idempotent and non-interactive; run as root (or through
# sudo).
#   scripts/install-deps.sh                 the Linux engine and its tests
#   scripts/install-deps.sh --windows       the same plus the Windows toolchain
#                                           (MinGW-w64, Wine, Debian's FFmpeg
#                                           source; about 1.6 GB more)
#   scripts/install-deps.sh english-corpus  only what the English data recipe
#                                           (tools/english/run.sh) reads:
#                                           voices, texts, the pronunciation list
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libbenchmark-dev
  libasound2-dev libavcodec-dev libavformat-dev libswresample-dev
  libcpp-httplib-dev nlohmann-json3-dev chromium chromium-driver python3-selenium
  ffmpeg sox rubberband-cli espeak-ng python3-numpy libxml2-utils libxml2-dev alsa-utils clang
  festlex-cmu python3 dpkg-dev libopencc-dev
  pybind11-dev python3-dev python3-pytest librsvg2-bin
)
# The Mandarin data recipe (tools/mandarin): the Unicode Han database, the
# fortunes-zh texts and OpenCC's converter.
recipe_packages=(unicode-data fortunes-zh opencc)
# The Windows component: the MinGW-w64 cross compiler (POSIX thread model,
# which has std::thread and std::mutex), widl and Wine's IDL files, and Wine
# to test it. Wine is installed with the packages it recommends, as it is
# tested. dpkg-dev (in the main list: it also gives the Debian package its
# dependencies) and a deb-src entry fetch Debian's FFmpeg source, from which
# scripts/build-win-nellymoser.sh cross-builds the Nellymoser decoder.
windows_packages=(
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 wine64-tools libwine-dev dpkg-dev
)
corpus_packages=(
  festlex-cmu espeak-ng flite festival festvox-kallpc16k festvox-kdlpc16k festvox-us-slt-hts
  wordnet-base fortunes-min sox rubberband-cli python3-numpy klettres-data
)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
updated=0
# install_missing [apt-get options...] -- packages...
install_missing() {
  local options=() missing=()
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  if [ "$updated" = 0 ]; then $SUDO apt-get update -qq; updated=1; fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${options[@]}" "${missing[@]}"
}
windows=0
case "${1:-}" in
  english-corpus)
    install_missing --no-install-recommends -- "${corpus_packages[@]}"
    exit 0 ;;
  --windows) windows=1 ;;
  "") ;;
  *) echo "usage: $0 [--windows | english-corpus]" >&2; exit 2 ;;
esac
install_missing --no-install-recommends -- "${packages[@]}" "${recipe_packages[@]}"
[ "$windows" = 1 ] || exit 0
install_missing -- "${windows_packages[@]}"
# Source entries for the same mirrors as the binary ones.
src_list=/etc/apt/sources.list.d/kedo-src.sources
if [ ! -e "$src_list" ] && ! apt-get source --print-uris -qq "ffmpeg=$(dpkg-query -W -f='${source:Version}' libavcodec-dev)" >/dev/null 2>&1; then
  if [ -e /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $SUDO tee "$src_list" >/dev/null
  else
    grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $SUDO tee "${src_list%.sources}.list" >/dev/null
  fi
  $SUDO apt-get update -qq
fi
# The Windows tests run the Chinese cases under zh_TW.UTF-8, from which Wine
# takes the ANSI code page 950 (Big5).
if ! locale -a 2>/dev/null | grep -qix 'zh_TW.utf8'; then
  install_missing --no-install-recommends -- locales
  $SUDO localedef -i zh_TW -f UTF-8 zh_TW.UTF-8
fi
