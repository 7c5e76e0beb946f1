#!/usr/bin/env bash
# The main job: sets up the machine, builds every target, writes the project's sample
# object as a PEL file and opens it in the stand-alone viewer
# (wine64 rundll32 QivPlayer.dll,DisplayObject <file>, software renderer), then in
# Stellwerk.exe: in real windows when $DISPLAY works, otherwise under Xvfb. Screenshots of
# the viewer window and of Stellwerk's main window go to out/viewer.png and
# out/stellwerk.png, each window closed after its picture.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
scripts/build.sh native
scripts/build.sh win32
scripts/build.sh win64
mkdir -p out
build/native/tools/qivrender/qivrender --pel out/sample.pel

winpath() { local p; p=$(realpath "$1"); echo "Z:${p//\//\\}"; }
display_works() {
  [ -n "${DISPLAY:-}" ] || return 1
  if command -v xdpyinfo >/dev/null; then timeout 5 xdpyinfo >/dev/null 2>&1; return; fi
  if command -v xset >/dev/null; then timeout 5 xset q >/dev/null 2>&1; return; fi
  local n=${DISPLAY#*:}; n=${n%%.*}
  [ -S "/tmp/.X11-unix/X$n" ]
}

# A prefix of the main job's own, apart from the tests' prefix.
prefix="$root/build/win64/wineprefix-viewer"
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine64
if display_works; then
  echo "Viewer in a window on $DISPLAY"
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  [ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
  stop_env() { :; }
else
  echo "No display: the viewer runs under Xvfb"
  # shellcheck source=scripts/wine-env.sh
  source scripts/wine-env.sh
  wine_env_start "$prefix"
  stop_env() { wine_env_stop; }
  # Without a window manager Wine draws the window frames itself, and places and
  # sizes its windows itself (a maximised window then fills the screen).
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
fi
trap stop_env EXIT
# The viewer draws with the software renderer (the control's user option).
"$wine" reg add 'HKCU\SOFTWARE\Tarnwick\Qiv Player' /v Use3DHardware /t REG_DWORD /d 0 /f >/dev/null

dll=$(winpath build/win64/player/control/QivPlayer.dll)
# The shell's open command of object files, as the registration writes it.
"$wine" regsvr32 /s "$dll"
rm -f out/viewer.png out/stellwerk.png
shot=build/win64/tools/qivshot/qivshot.exe
"$wine" "$shot" --timeout 180 --settle 4000 --stable 2000 out/viewer.png &
pid=$!
"$wine" rundll32 "$dll",DisplayObject "$(winpath out/sample.pel)"
status=0
wait "$pid" || status=$?

# Stellwerk opens the same object (its texts in Support\ and its INI file beside it).
"$wine" "$shot" --class QivFormsWindow --title "Fernlicht - " --timeout 180 --settle 4000 --stable 2000 \
  out/stellwerk.png &
pid=$!
"$wine" build/win64/app/Stellwerk.exe "$(winpath out/sample.pel)"
app=0
wait "$pid" || app=$?

echo "Products: build/win32 (shipped) and build/win64:"
find build/win32 build/win64 -maxdepth 3 \( -iname 'qivplayer.dll' -o -iname 'tolvane.dll' -o -iname 'stellwerk.exe' \) \
  -not -path '*/CMakeFiles/*' | sort
if [ "$status" -ne 0 ] || [ ! -s out/viewer.png ]; then
  echo "The viewer window could not be captured" >&2
  exit 1
fi
echo "Viewer screenshot: out/viewer.png (object: out/sample.pel)"
if [ "$app" -ne 0 ] || [ ! -s out/stellwerk.png ]; then
  echo "Stellwerk's main window could not be captured" >&2
  exit 1
fi
echo "Stellwerk screenshot: out/stellwerk.png"
