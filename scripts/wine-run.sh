#!/usr/bin/env bash
# Runs a Windows exe under wine64 in the project's private prefix (the ctest emulator).
# A test that makes windows (MIAOLAN_NEEDS_DISPLAY=1, set by miaolan_test(... DISPLAY)) and finds
# no X display gets a private Xvfb for its run, stopped after; so plain `ctest` works anywhere.
here=$(dirname "$0")
source "$here/wine-env.sh"
miaolan_wine_prefix
if [ -n "${MIAOLAN_NEEDS_DISPLAY:-}" ] && { [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; }; then
  unset DISPLAY
  source "$here/xvfb-env.sh"
  "$WINE" "$@"
  rc=$?
  miaolan_xvfb_stop
  exit "$rc"
fi
exec "$WINE" "$@"
