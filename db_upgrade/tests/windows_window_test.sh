#!/usr/bin/env bash
# The window tessary.exe under wine, on an X server of this test's own (never the user's
# display): the window's own tests, then tessary.exe against the native SQL Server stand-in,
# which holds its statements while the test asks it to; then the window's controls again on
# a screen of 144 dpi (150 %), the density of many store PCs.
#   windows_window_test.sh WINE_RUNNER WINDOW_TESTS_EXE TESSARY_EXE NATIVE_DB_UPGRADE_DIR
# The prefix's wineserver is ended before and after: wine's desktop belongs to the display
# it was started on, and must be this one.
set -euo pipefail

# On the X server: the density is the prefix user's LogPixels, read as a program starts, and
# is removed again however the run ends (a new prefix has none).
if [[ ${1-} == --on-display ]]; then
  runner=$2 tests=$3
  desktop='HKCU\Control Panel\Desktop'
  restore() {
    "$runner" reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1 || true
    "$runner" --stop
  }
  trap restore EXIT
  status=0
  "$runner" "$tests" || status=$?
  "$runner" reg add "$desktop" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null
  TESSARY_WINDOW_DPI=144 "$runner" "$tests" --gtest_filter='Win32Window.EveryControl*' ||
    status=$?
  exit $status
fi

source "$(dirname "$0")/stand_in.sh"
runner=$(realpath "$1") tests=$(realpath "$2") tessary=$(realpath "$3") native=$(realpath "$4")
[[ -x $native/tessary-sql-stand-in ]] ||
  { echo "$native/tessary-sql-stand-in is missing: build the native preset first" >&2; exit 1; }

work=$(mktemp -d)
stand_in_pid=
cleanup() {
  [[ -z $stand_in_pid ]] || { kill "$stand_in_pid" 2>/dev/null; wait "$stand_in_pid" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

start_stand_in "$native" "$work/stand-in.log" --database store --database SorVanth \
  --hold-while "$work/hold"

export TESSARY_EXE="Z:$tessary" TESSARY_STAND_IN_PORT=$port TESSARY_STAND_IN_HOLD="Z:$work/hold" \
  TESSARY_STAND_IN_LOG="Z:$work/stand-in.log"
"$runner" --stop
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0" --on-display "$runner" "$tests"
