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
# Line tables only: backtraces keep their files and lines, objects stay small and link fast.
common=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -Wno-dev
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")
case $kind in
  native) cmake -S "$root" -B "$dir" "${common[@]}" ;;
  asan)   cmake -S "$root" -B "$dir" "${common[@]}" -DQIV_SANITIZE=ON ;;
  fuzz)   cmake -S "$root" -B "$dir" "${common[@]}" -DQIV_FUZZ=ON -DQIV_TESTS=OFF \
            -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ ;;
  win64|win32)
    bits=${kind#win}
    "$root/scripts/deps.sh" "$bits" "$root/build/deps-$bits"
    # The tests and benchmarks run from the 64-bit build; the 32-bit one builds the product.
    [ "$bits" = 32 ] && common+=(-DQIV_TESTS=OFF -DQIV_BENCH=OFF)
    cmake -S "$root" -B "$dir" "${common[@]}" \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw$bits.cmake" \
      -DQIV_DEPS_PREFIX="$root/build/deps-$bits" ;;
  *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac
cmake --build "$dir" -j "$jobs"
