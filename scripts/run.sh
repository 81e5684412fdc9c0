#!/usr/bin/env bash
# The main job: installs what it needs, starts the demo node (a real picture catalogue on
# 127.0.0.1:1629, HTTP 1630), builds the Windows client and runs it inside a Wine virtual
# desktop, on your display or, when there is none, on a private Xvfb whose picture is saved
# to build/run/desktop.png every few seconds. "使用" on a picture changes that desktop's
# wallpaper in front of you.
#
#   bash scripts/run.sh                     a 1600x1000 desktop
#   MIAOLAN_DESKTOP=1920x1080 bash scripts/run.sh
#
# The tray menu's "退出" (bottom right of the desktop) or Ctrl-C stops the client and the node.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
size=${MIAOLAN_DESKTOP:-1600x1000}
[[ "$size" =~ ^[0-9]+x[0-9]+$ ]] || { echo "run: MIAOLAN_DESKTOP must look like 1600x1000" >&2; exit 2; }
bash scripts/setup.sh

node_pid=$(bash scripts/node-demo.sh --background)
echo "run: node running on 127.0.0.1:1629, HTTP 127.0.0.1:1630 (pid $node_pid, log build/demo-node.log)"

echo "run: building the client"
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build/win -j"$(nproc)" --target MiaolanWallpaper >/dev/null

# A program folder and a Wine prefix of the run's own: its Config.ini, pictures and desktop
# settings stay apart from the tests'.
run=$root/build/run
mkdir -p "$run/program"
cp build/win/src/app/MiaolanWallpaper.exe build/win/HPSocket4C.dll "$run/program/"
export MIAOLAN_WINE_ROOT=$run/wine
export MIAOLAN_SCREEN=$size
source scripts/wine-env.sh
source scripts/xvfb-env.sh
shots_pid=""
cleanup() {
  [ -n "$shots_pid" ] && kill "$shots_pid" 2>/dev/null
  kill "$node_pid" 2>/dev/null
  "$WINESERVER" -k >/dev/null 2>&1
  miaolan_xvfb_stop
}
trap cleanup EXIT
trap 'exit 130' INT TERM
echo "run: preparing the Wine prefix in $MIAOLAN_WINE_ROOT"
miaolan_wine_prefix

if [ -n "$miaolan_xvfb_pid" ]; then
  # No display to show it on: keep a picture of the private one up to date.
  (
    while sleep 5; do
      xwd -root -silent 2>/dev/null | convert xwd:- "$run/desktop.tmp.png" 2>/dev/null &&
        mv "$run/desktop.tmp.png" "$run/desktop.png"
    done
  ) &
  shots_pid=$!
  echo "run: no display here, so the desktop runs on a private Xvfb ($DISPLAY);"
  echo "run: look at build/run/desktop.png (saved every 5 s), or: xwd -display $DISPLAY -root | display"
else
  echo "run: look for the window \"miaolan - Wine desktop\" on $DISPLAY"
fi
echo "run: MiaolanWallpaper.exe starts in a ${size} Wine desktop; the previews fill in within a minute"
# In the background, so that Ctrl-C reaches the trap at once; the desktop ends with the client.
"$WINE" explorer "/desktop=miaolan,$size" "$run/program/MiaolanWallpaper.exe" </dev/null &
wait $!
echo "run: the client has ended"
