#!/usr/bin/env bash
# The main job: starts the demo node (a real picture catalogue on 127.0.0.1:1629, HTTP 1630),
# then builds the Windows client and runs it under Wine against it, with a private Xvfb when
# there is no display. Ctrl-C (or closing the client) stops both.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

node_pid=$(bash scripts/node-demo.sh --background)
echo "run: node running (pid $node_pid, log build/demo-node.log)"

cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build/win -j"$(nproc)" --target MiaolanWallpaper
export MIAOLAN_WINE_ROOT=$root/build/win/wine
source scripts/wine-env.sh
source scripts/xvfb-env.sh
miaolan_wine_prefix
trap 'kill "$node_pid" 2>/dev/null; "$WINESERVER" -k >/dev/null 2>&1; miaolan_xvfb_stop' EXIT
echo "run: starting MiaolanWallpaper.exe on DISPLAY=$DISPLAY (Ctrl-C to stop)"
"$WINE" build/win/src/app/MiaolanWallpaper.exe
