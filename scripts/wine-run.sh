#!/usr/bin/env bash
# Runs a Windows program under wine64 (CTest's cross-compiling emulator).
# WINEPREFIX comes from the caller (scripts/test.sh makes one per build tree).
# With QIV_OWN_PREFIX=<name> the program runs in a fresh prefix of its own,
# <prefix>-own/<name>, made from <prefix>-template (scripts/wine-env.sh makes it).
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
fi
exec "$WINE64" "$@"
