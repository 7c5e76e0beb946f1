#!/usr/bin/env bash
# Configures and builds one of the project's builds.
# usage: build.sh <native|asan|fuzz|win64|win32> [build folder]
# Folders default to build/<kind>. The cross builds also cross-build the codec libraries
# (libjpeg-turbo, libpng, libtiff, giflib; cached in build/deps-<bits>).
set -euo pipefail
kind=$1
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${2:-$root/build/$kind}
jobs=${QIV_JOBS:-$(nproc)}
common=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -Wno-dev)
case $kind in
  native) cmake -S "$root" -B "$dir" "${common[@]}" ;;
  asan)   cmake -S "$root" -B "$dir" "${common[@]}" -DQIV_SANITIZE=ON ;;
  fuzz)   cmake -S "$root" -B "$dir" "${common[@]}" -DQIV_FUZZ=ON -DQIV_TESTS=OFF \
            -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ ;;
  win64|win32)
    bits=${kind#win}
    "$root/scripts/deps.sh" "$bits" "$root/build/deps-$bits"
    cmake -S "$root" -B "$dir" "${common[@]}" \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw$bits.cmake" \
      -DQIV_DEPS_PREFIX="$root/build/deps-$bits" ;;
  *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac
cmake --build "$dir" -j "$jobs"
