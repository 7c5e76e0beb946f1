#!/usr/bin/env bash
# Cross-builds the codec libraries from Debian's source packages for one mingw target,
# static: libjpeg-turbo, libpng, libtiff (with JPEG and zlib) and giflib.
# usage: deps.sh <32|64> <prefix>   (sources cached in build/deps-src; each library is
# built once per prefix)
set -euo pipefail
bits=$1; prefix=$(mkdir -p "$2" && cd "$2" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
case $bits in 64) triple=x86_64-w64-mingw32 ;; 32) triple=i686-w64-mingw32 ;; *) echo "bits?" >&2; exit 2 ;; esac
if [ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/lib/libpng.a" ] && [ -f "$prefix/lib/libtiff.a" ] \
   && [ -f "$prefix/lib/libgif.a" ]; then
  exit 0
fi

srcroot="$root/build/deps-src"
mkdir -p "$srcroot" "$prefix/lib" "$prefix/include"

# Unpacks Debian's source package <pkg> into build/deps-src (once); prints its folder.
# The security archive's .dsc has been seen missing while its tarball was there: then
# the versions of the main archive are tried, and at last the upstream tarball alone.
fetch_source() {
  local pkg=$1 glob=$2 dir
  dir=$(ls -d "$srcroot"/$glob/ 2>/dev/null | head -n1 || true)
  if [ -z "$dir" ]; then
    ( cd "$srcroot"
      got=""
      specs="$pkg $(apt-cache showsrc "$pkg" 2>/dev/null | sed -n 's/^Version: /'"$pkg"'=/p' | sort -r -V)"
      for round in 1 2; do
        for spec in $specs; do
          if apt-get source --download-only "$spec" >/dev/null 2>&1; then got=$spec; break 2; fi
        done
        sleep 5
      done
      dsc=""
      [ -n "$got" ] && dsc=$(ls -t "${pkg}"_*.dsc 2>/dev/null | head -n1 || true)
      if [ -n "$dsc" ]; then
        dpkg-source --no-check -x "$dsc" >/dev/null
      else
        orig=$(ls "${pkg}"_*.orig.tar.* 2>/dev/null | head -n1 || true)
        [ -n "$orig" ] || { echo "no source of $pkg" >&2; exit 1; }
        tar xf "$orig"
      fi )
    dir=$(ls -d "$srcroot"/$glob/ | head -n1)
  fi
  echo "${dir%/}"
}

tc="$root/build/deps-toolchain-$bits.cmake"
mkdir -p "$root/build"
cat > "$tc" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${triple%%-*})
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_CXX_COMPILER $triple-g++-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple $prefix)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
TC
cflags="-O2"
[ "$bits" = 32 ] && cflags="-O2 -msse2 -mfpmath=sse"
cmake_dep() {  # cmake_dep <source> <build> <args...>
  local src=$1 bdir=$2; shift 2
  rm -rf "$bdir"
  cmake -S "$src" -B "$bdir" -G Ninja -Wno-dev -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS="$cflags" -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >/dev/null
}
zlib_args=(-DZLIB_INCLUDE_DIR=/usr/$triple/include -DZLIB_LIBRARY=/usr/$triple/lib/libz.a)

if [ ! -f "$prefix/lib/libjpeg.a" ]; then
  src=$(fetch_source libjpeg-turbo 'libjpeg-turbo-*')
  bdir="$root/build/deps-build-$bits"
  cmake_dep "$src" "$bdir" -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF
  cmake --build "$bdir" -j "${QIV_JOBS:-3}" --target jpeg-static >/dev/null
  cp "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$bdir/jconfig.h" "$prefix/include/"
  cp "$bdir/libjpeg.a" "$prefix/lib/libjpeg.a"
fi

if [ ! -f "$prefix/lib/libpng.a" ]; then
  src=$(fetch_source libpng1.6 'libpng*1.6.*')
  bdir="$root/build/deps-build-png-$bits"
  cmake_dep "$src" "$bdir" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DPNG_HARDWARE_OPTIMIZATIONS=OFF "${zlib_args[@]}"
  cmake --build "$bdir" -j "${QIV_JOBS:-3}" --target png_static >/dev/null
  cp "$src/png.h" "$src/pngconf.h" "$bdir/pnglibconf.h" "$prefix/include/"
  cp "$(ls "$bdir"/libpng*.a | head -n1)" "$prefix/lib/libpng.a"
fi

if [ ! -f "$prefix/lib/libtiff.a" ]; then
  src=$(fetch_source tiff '*tiff-*4.*')
  bdir="$root/build/deps-build-tiff-$bits"
  cmake_dep "$src" "$bdir" -DBUILD_SHARED_LIBS=OFF -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF \
    -Dtiff-docs=OFF -Dtiff-opengl=OFF -Dcxx=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF \
    -Dlibdeflate=OFF -Dzlib=ON -Djpeg=ON -Dold-jpeg=OFF -Djpeg12=OFF \
    -DJPEG_INCLUDE_DIR="$prefix/include" -DJPEG_LIBRARY="$prefix/lib/libjpeg.a" "${zlib_args[@]}"
  cmake --build "$bdir" -j "${QIV_JOBS:-3}" --target tiff >/dev/null
  cp "$src/libtiff/tiff.h" "$src/libtiff/tiffio.h" "$bdir/libtiff/tiffconf.h" "$prefix/include/"
  cp "$(ls "$bdir/libtiff/tiffvers.h" "$src/libtiff/tiffvers.h" 2>/dev/null | head -n1)" "$prefix/include/"
  cp "$bdir/libtiff/libtiff.a" "$prefix/lib/libtiff.a"
fi

if [ ! -f "$prefix/lib/libgif.a" ]; then
  # giflib has no CMake: its library sources into one static library.
  src=$(fetch_source giflib 'giflib-5*')
  bdir="$root/build/deps-build-gif-$bits"
  rm -rf "$bdir"; mkdir -p "$bdir"
  for f in dgif_lib egif_lib gifalloc gif_err gif_font gif_hash openbsd-reallocarray quantize; do
    $triple-gcc-posix $cflags -c "$src/$f.c" -I"$src" -o "$bdir/$f.o"
  done
  $triple-ar rcs "$bdir/libgif.a" "$bdir"/*.o
  cp "$src/gif_lib.h" "$prefix/include/"
  cp "$bdir/libgif.a" "$prefix/lib/libgif.a"
fi
