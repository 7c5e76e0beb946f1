#!/usr/bin/env bash
# Sets up the machine, builds all builds and runs every test:
# native (plain and sanitized), the fuzz targets briefly, win64 under wine64,
# and the win32 build (build only).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
status=0
started=$SECONDS
mark=$SECONDS
times=()
# Each step's wall time, printed together at the end.
step() {
  [ -n "${current:-}" ] && times+=("$(printf '%5ds  %s' $((SECONDS - mark)) "$current")")
  current=$*; mark=$SECONDS
  echo; echo "=== $*"
}
fail() { echo "FAILED: $*"; status=1; }

step "set-up"
bash scripts/setup.sh || exit 1

step "native build and tests"
scripts/build.sh native && ctest --test-dir build/native -j "$(nproc)" --output-on-failure || fail native

step "sanitized build and tests"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
scripts/build.sh asan && ctest --test-dir build/asan -j "$(nproc)" --output-on-failure || fail asan

if [ -x fuzz/run.sh ]; then
  step "fuzz targets"
  scripts/build.sh fuzz && fuzz/run.sh build/fuzz || fail fuzz
fi

step "win32 build"
scripts/build.sh win32 || fail win32

step "win64 build and tests under wine64"
if scripts/build.sh win64; then
  source scripts/wine-env.sh
  wine_env_start "$root/build/win64/wineprefix"
  ctest --test-dir build/win64 -j "$(nproc)" --output-on-failure || fail win64
  wine_env_stop
else
  fail win64
fi

step end
echo "Wall time per step:"
printf '  %s\n' "${times[@]}"
printf '  %5ds  in all\n' $((SECONDS - started))
echo
[ $status -eq 0 ] && echo "ALL BUILDS AND TESTS PASSED" || echo "SOME BUILDS OR TESTS FAILED"
exit $status
