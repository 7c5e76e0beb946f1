#!/usr/bin/env bash
# Cross-builds libjpeg-turbo from Debian's source package for one mingw target.
# usage: deps.sh <32|64> <prefix>   (sources cached in build/deps-src)
set -euo pipefail
bits=$1; prefix=$2
root=$(cd "$(dirname "$0")/.." && pwd)
case $bits in 64) triple=x86_64-w64-mingw32 ;; 32) triple=i686-w64-mingw32 ;; *) echo "bits?" >&2; exit 2 ;; esac
[ -f "$prefix/lib/libjpeg.a" ] && exit 0

srcroot="$root/build/deps-src"
mkdir -p "$srcroot"
src=$(ls -d "$srcroot"/libjpeg-turbo-*/ 2>/dev/null | head -n1 || true)
if [ -z "$src" ]; then
  ( cd "$srcroot"
    for i in 1 2 3; do apt-get source --download-only libjpeg-turbo && break; sleep 5; done
    dsc=$(ls libjpeg-turbo_*.dsc | head -n1)
    dpkg-source --no-check -x "$dsc" >/dev/null )
  src=$(ls -d "$srcroot"/libjpeg-turbo-*/ | head -n1)
fi

bdir="$root/build/deps-build-$bits"
rm -rf "$bdir"
tc="$root/build/deps-toolchain-$bits.cmake"
mkdir -p "$root/build"
cat > "$tc" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${triple%%-*})
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
TC
extra=""
[ "$bits" = 32 ] && extra="-DCMAKE_C_FLAGS=-msse2 -mfpmath=sse"
cmake -S "$src" -B "$bdir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_BUILD_TYPE=Release \
  -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DCMAKE_INSTALL_PREFIX="$prefix" \
  ${extra:+"$extra"} >/dev/null
cmake --build "$bdir" --target jpeg-static >/dev/null
mkdir -p "$prefix/lib" "$prefix/include"
cp "$bdir/libjpeg.a" "$prefix/lib/libjpeg.a"
cp "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$bdir/jconfig.h" "$prefix/include/"
