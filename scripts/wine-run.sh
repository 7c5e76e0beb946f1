#!/usr/bin/env bash
# Runs a Windows program under wine64 (CTest's cross-compiling emulator).
# WINEPREFIX comes from the caller (scripts/test.sh makes one per build tree).
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-qiv}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64=wine64
exec "$WINE64" "$@"
