#!/usr/bin/env bash
# The main job: sets up the machine, builds every target and runs what exists.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
scripts/build.sh native
scripts/build.sh win32
scripts/build.sh win64
echo "Built: build/win32 (shipped product), build/win64, build/native"
find build/win32 build/win64 -maxdepth 3 \( -name '*.dll' -o -name '*.exe' -o -name 'libqivengine.a' \) \
  -not -path '*/CMakeFiles/*' -not -name '*_test.exe' | sort
ctest --test-dir build/native -j "$(nproc)"
