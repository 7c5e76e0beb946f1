#!/usr/bin/env bash
# Installs every package the builds need on a fresh Debian 12 machine.
# Quick when everything is already there.
set -euo pipefail

PKGS=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  zlib1g-dev libjpeg-dev libpng-dev libtiff-dev libgif-dev googletest
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix
  mingw-w64-tools libz-mingw-w64-dev
  wine wine64 libwine-dev
  xvfb xauth fonts-wine libgl1-mesa-dri libglx-mesa0 libegl-mesa0 libosmesa6
  dpkg-dev locales chromium
)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# deb-src twin of the deb entries, for the codec source packages of the cross builds
SRC=/etc/apt/sources.list.d/debian-src.sources
need_update=0
if [ ! -f "$SRC" ]; then
  sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $SUDO tee "$SRC" >/dev/null
  need_update=1
fi

apt_update() {
  for i in 1 2 3; do
    $SUDO apt-get update -o Acquire::Retries=3 && return 0
    echo "apt-get update failed (try $i), retrying" >&2; sleep 5
  done
  echo "apt-get update kept failing; going on with the index we have" >&2
}

if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
  apt_update
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  for i in 1 2 3; do
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends \
      -o Acquire::Retries=3 "${missing[@]}" && break
    [ $i -eq 3 ] && { echo "package install failed" >&2; exit 1; }
    echo "install failed (try $i), refreshing the index and retrying" >&2
    apt_update; sleep 5
  done
fi
