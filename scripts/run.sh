#!/usr/bin/env bash
# Builds the Windows client and starts it under Wine (with a private Xvfb when no display).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build/win -j"$(nproc)" --target MiaolanWallpaper
export MIAOLAN_WINE_ROOT=$root/build/win/wine
source scripts/wine-env.sh
source scripts/xvfb-env.sh
miaolan_wine_prefix
echo "run: starting MiaolanWallpaper.exe on DISPLAY=$DISPLAY (Ctrl-C to stop)"
trap '"$WINESERVER" -k >/dev/null 2>&1; miaolan_xvfb_stop' EXIT
"$WINE" build/win/src/app/MiaolanWallpaper.exe
