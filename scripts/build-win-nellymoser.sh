#!/usr/bin/env bash
# Cross-builds a static libavcodec + libavutil holding only the Nellymoser
# decoder for x86_64-w64-mingw32, from Debian's FFmpeg source of the same
# version as the installed libavcodec. Installs into build-win/ffmpeg/ (a
# pkg-config prefix) and does nothing when that prefix is already complete.
#
# Configured without --enable-gpl (LGPL-2.1-or-later) and with --disable-asm,
# so the decoder runs the same C code as on every platform.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
prefix=$root/build-win/ffmpeg
work=$root/build-win/ffmpeg-build
version=$(dpkg-query -W -f='${source:Version}' libavcodec-dev)
stamp=$prefix/.kedo-ffmpeg-$version
if [ -e "$stamp" ]; then
  exit 0
fi
start=$(date +%s)
rm -rf "$work" "$prefix"
mkdir -p "$work"
cd "$work"
# Downloads and unpacks the source package (dpkg-dev; a deb-src entry).
apt-get source -qq "ffmpeg=$version" >/dev/null
src=$(find . -maxdepth 1 -mindepth 1 -type d -name 'ffmpeg-*' | head -n1)
[ -n "$src" ] || { echo "build-win-nellymoser: no FFmpeg source unpacked" >&2; exit 1; }
mkdir obj
cd obj
"../$src/configure" \
  --prefix="$prefix" \
  --target-os=mingw32 --arch=x86_64 --cross-prefix=x86_64-w64-mingw32- \
  --pkg-config=pkg-config \
  --enable-static --disable-shared \
  --disable-everything --enable-decoder=nellymoser \
  --disable-programs --disable-doc --disable-network --disable-asm \
  --disable-avdevice --disable-avformat --disable-swscale --disable-swresample \
  --disable-postproc --disable-avfilter \
  --disable-autodetect --disable-debug \
  >configure.log 2>&1 || { tail -20 configure.log ffbuild/config.log >&2; exit 1; }
make -j "$(nproc)" >make.log 2>&1 || { tail -30 make.log >&2; exit 1; }
make install >install.log 2>&1 || { tail -30 install.log >&2; exit 1; }
cd "$root"
rm -rf "$work"
touch "$stamp"
echo "== Nellymoser decoder cross-built ($version) in $(( $(date +%s) - start )) s"
