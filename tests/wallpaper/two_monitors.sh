#!/usr/bin/env bash
# Runs a Windows test exe under Wine on an X server with two monitors joined by Xinerama.
#
#   two_monitors.sh LAYOUT WORK TEST_EXE [test arguments...]
#
# LAYOUT "left": an 800×600 primary with a 640×480 monitor left of it; "above": the 640×480 one
# above it. The test reads the layout from MIAOLAN_MONITOR_LAYOUT.
#
# Xvfb places all its screens at 0,0, so Wine sees one monitor there; the server here is Xorg
# with the dummy driver and a layout of two screens (it needs root, as Xorg does). Such a server
# has Xinerama but no XRandR, and Wine 8's desktop process dies at start in its XVidMode code
# ("free(): invalid pointer") unless told not to use it; then Wine reads the monitors from
# Xinerama, the first screen primary at 0,0 and the other at negative coordinates.
set -uo pipefail
layout=$1 work=$2 exe=$3
shift 3
root=$(cd "$(dirname "$0")/../.." && pwd)
case $layout in
  left) place='LeftOf "s0"' ;;
  above) place='Above "s0"' ;;
  *) echo "two_monitors: unknown layout $layout"; exit 2 ;;
esac
rm -rf "$work"
mkdir -p "$work"

monitor() { # identifier, width, height, modeline
  printf 'Section "Monitor"\n  Identifier "%s"\n  HorizSync 5.0-1000.0\n  VertRefresh 5.0-200.0\n  Modeline %s\nEndSection\n' "$1" "$2"
}
screen() { # identifier, device, monitor, mode, width, height
  printf 'Section "Device"\n  Identifier "%s"\n  Driver "dummy"\n  VideoRam 16384\nEndSection\n' "$2"
  printf 'Section "Screen"\n  Identifier "%s"\n  Device "%s"\n  Monitor "%s"\n  DefaultDepth 24\n' "$1" "$2" "$3"
  printf '  SubSection "Display"\n    Depth 24\n    Modes "%s"\n    Virtual %s %s\n  EndSubSection\nEndSection\n' "$4" "$5" "$6"
}
{
  printf 'Section "ServerFlags"\n  Option "AutoAddDevices" "false"\n  Option "DontVTSwitch" "true"\n'
  printf '  Option "Xinerama" "true"\nEndSection\n'
  printf 'Section "Module"\n  Disable "glx"\nEndSection\n'
  monitor m0 '"800x600" 40.0 800 840 968 1056 600 601 605 628'
  monitor m1 '"640x480" 25.2 640 656 752 800 480 490 492 525'
  screen s0 d0 m0 800x600 800 600
  screen s1 d1 m1 640x480 640 480
  printf 'Section "ServerLayout"\n  Identifier "two"\n  Screen 0 "s0" 0 0\n  Screen 1 "s1" %s\nEndSection\n' "$place"
} >"$work/xorg.conf"

if ! command -v Xorg >/dev/null; then
  echo "two_monitors: no Xorg (scripts/setup.sh installs it)"
  exit 1
fi
# -displayfd picks a free display; the server is bounded in time in case the cleanup is missed.
timeout 600 Xorg -displayfd 3 -config "$work/xorg.conf" -logfile "$work/xorg.log" -noreset -nolisten tcp \
  -novtswitch -sharevts 3>"$work/display" </dev/null >/dev/null 2>&1 &
xorg_pid=$!
for _ in $(seq 200); do
  [ -s "$work/display" ] && break
  kill -0 "$xorg_pid" 2>/dev/null || break
  sleep 0.05
done
if [ ! -s "$work/display" ]; then
  echo "two_monitors: Xorg did not start; see $work/xorg.log"
  kill "$xorg_pid" 2>/dev/null
  exit 1
fi
export DISPLAY=":$(head -1 "$work/display")" MIAOLAN_MONITOR_LAYOUT=$layout

export MIAOLAN_WINE_ROOT=${MIAOLAN_WINE_ROOT:-$root/build/win/wine}
source "$root/scripts/wine-env.sh"
miaolan_wine_private_prefix "$work/wine" || { kill "$xorg_pid"; exit 1; }
trap '"$WINESERVER" -k >/dev/null 2>&1; kill "$xorg_pid" 2>/dev/null; wait "$xorg_pid" 2>/dev/null' EXIT
# The X11 driver reads this when a process starts: set it, then start the server anew, with
# Wine's background processes away from the test's output.
"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v UseXVidMode /d N /f </dev/null >/dev/null 2>&1
"$WINESERVER" -k >/dev/null 2>&1
"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$WINE" wineboot </dev/null >/dev/null 2>&1
timeout 300 "$WINE" "$exe" "$@" </dev/null
