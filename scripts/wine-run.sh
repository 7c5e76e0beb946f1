#!/usr/bin/env bash
# Runs a Windows program under wine64 (CTest's cross-compiling emulator).
# WINEPREFIX comes from the caller (scripts/test.sh makes one per build tree).
# With QIV_OWN_PREFIX=<name> the program runs in a fresh prefix of its own,
# <prefix>-own/<name>, made from <prefix>-template (scripts/wine-env.sh makes it).
# With QIV_OWN_DISPLAY=1 as well it also gets an Xvfb display of its own, so a test that
# moves the real cursor or uses the clipboard runs beside others (the cursor lives in the
# prefix's server, the pointer and selections in the X display).
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-qiv}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64=wine64
if [ -n "${QIV_OWN_PREFIX:-}" ]; then
  template="$WINEPREFIX-template"
  if [ ! -f "$template/system.reg" ]; then
    echo "wine-run.sh: no template prefix $template (source scripts/wine-env.sh; wine_env_start)" >&2
    exit 1
  fi
  own="$WINEPREFIX-own/$QIV_OWN_PREFIX"
  WINEPREFIX=$own /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  rm -rf "$own"
  mkdir -p "$own"
  # The registry and the user's folders are copied; Windows' own files are shared read-only links.
  (shopt -s dotglob; for f in "$template"/*; do [ "${f##*/}" = drive_c ] || cp -a "$f" "$own/"; done)
  mkdir "$own/drive_c"
  for d in "$template"/drive_c/*; do
    case ${d##*/} in
      users) cp -a "$d" "$own/drive_c/" ;;
      *) cp -al "$d" "$own/drive_c/" ;;
    esac
  done
  export WINEPREFIX=$own
  unset QIV_OWN_PREFIX
  if [ -n "${QIV_OWN_DISPLAY:-}" ]; then
    unset QIV_OWN_DISPLAY
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" </dev/null >/dev/null 2>&1 &
    xpid=$!
    trap 'WINEPREFIX=$own /usr/lib/wine/wineserver -k >/dev/null 2>&1; kill $xpid 2>/dev/null; rm -f "$fdfile"' EXIT
    for _ in $(seq 100); do [ -s "$fdfile" ] && break; sleep 0.05; done
    [ -s "$fdfile" ] || { echo "wine-run.sh: Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(head -n1 "$fdfile")"
    "$WINE64" "$@"
    exit $?
  fi
fi
exec "$WINE64" "$@"
