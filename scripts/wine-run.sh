#!/usr/bin/env bash
# Runs a Windows exe under wine64 in the project's private prefix (the ctest emulator).
# A test that makes windows (MIAOLAN_NEEDS_DISPLAY=1, set by miaolan_test(... DISPLAY)) and finds
# no X display gets a private Xvfb for its run, stopped after; so plain `ctest` works anywhere.
#
# The exe's output goes through a file, not straight to ctest's pipe: the first process that
# needs the desktop starts Wine's explorer.exe, which inherits that process's output and lives on
# while any other Wine process runs. Holding ctest's pipe, it kept a finished test "running"
# until its time-out.
here=$(dirname "$0")
source "$here/wine-env.sh"
miaolan_wine_prefix
output=$(mktemp)
# A test stopped at its time-out still shows what it printed.
trap 'cat "$output"; rm -f "$output"; exit 143' TERM INT
display=
if [ -n "${MIAOLAN_NEEDS_DISPLAY:-}" ] && { [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; }; then
  unset DISPLAY
  source "$here/xvfb-env.sh"
  display=private
fi
# ctest kills a test at its time-out and shows nothing of it; ending it 5 s sooner here keeps
# what it printed and says which Wine processes were still there.
deadline=()
if [ -n "${MIAOLAN_TEST_TIMEOUT:-}" ] && [ "$MIAOLAN_TEST_TIMEOUT" -gt 10 ]; then
  deadline=(timeout -k 2 $((MIAOLAN_TEST_TIMEOUT - 5)))
fi
"${deadline[@]}" "$WINE" "$@" >"$output" 2>&1
rc=$?
if [ ${#deadline[@]} -gt 0 ] && { [ "$rc" = 124 ] || [ "$rc" = 137 ]; }; then
  echo "wine-run: no end after $((MIAOLAN_TEST_TIMEOUT - 5)) s; Wine processes then:" >>"$output"
  ps -eo pid,etimes,stat,args | grep -iE '[w]ine|[.]exe' >>"$output"
fi
cat "$output"
rm -f "$output"
[ -n "$display" ] && miaolan_xvfb_stop
exit "$rc"
