#!/usr/bin/env bash
# The main job: sets up the machine, builds every target and renders the
# project's sample object with the software renderer into out/sample-<mode>.bmp
# (the Windows build of the same tool, under wine64, writes out/sample-win64.bmp).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
scripts/build.sh native
scripts/build.sh win32
scripts/build.sh win64
mkdir -p out
for mode in gouraud textured flat hidden hidden-back wire wire-all; do
  build/native/tools/qivrender/qivrender --mode "$mode" --size 640x480 "out/sample-$mode.bmp"
done
WINEPREFIX="$root/build/win64/wineprefix" scripts/wine-run.sh \
  build/win64/tools/qivrender/qivrender.exe --mode gouraud --size 640x480 out/sample-win64.bmp
echo "Products: build/win32 (shipped) and build/win64:"
find build/win32 build/win64 -maxdepth 3 -iname 'tolvane.dll' -not -path '*/CMakeFiles/*' | sort
echo "Pictures: $(ls out/*.bmp | tr '\n' ' ')"
