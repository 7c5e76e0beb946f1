# Sourced: starts one Xvfb display and a persistent wineserver for a prefix,
# so every test process shares them, and makes <prefix>-template, a pristine prefix
# that tests with a prefix of their own start from (scripts/wine-run.sh).
# wine_env_stop undoes it.
# usage: wine_env_start <prefix>
wine_env_start() {
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  local fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  QIV_XVFB_PID=$!
  for _ in $(seq 50); do [ -s "$fdfile" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$fdfile")"
  rm -f "$fdfile"
  if [ ! -f "$WINEPREFIX-template/system.reg" ]; then
    rm -rf "$WINEPREFIX-template"
    mkdir -p "$WINEPREFIX-template"
    WINEPREFIX="$WINEPREFIX-template" /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1 || true
    # Its server writes the registry out when it ends.
    WINEPREFIX="$WINEPREFIX-template" /usr/lib/wine/wineserver -w </dev/null >/dev/null 2>&1 || true
  fi
  /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1 || true
  fi
  /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
}
wine_env_stop() {
  local own
  for own in "$WINEPREFIX-own"/*; do
    [ -d "$own" ] && WINEPREFIX=$own /usr/lib/wine/wineserver -k </dev/null >/dev/null 2>&1 || true
  done
  /usr/lib/wine/wineserver -k </dev/null >/dev/null 2>&1 || true
  [ -n "${QIV_XVFB_PID:-}" ] && kill "$QIV_XVFB_PID" 2>/dev/null || true
  QIV_XVFB_PID=
}
