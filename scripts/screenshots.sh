#!/usr/bin/env bash
# Starts the demo node (scripts/node-demo.sh) and MiaolanWallpaper.exe under Wine + Xvfb and
# takes screenshots of the main window's 4K and HD views full of the node's previews, the detail
# window of the first picture, the settings window, the rotation window, the display window and
# the exit window, at
# 100 % and at 150 % scaling;
# then the engine gallery (tests/e2e/engine_gallery_main.cpp) shows the controls with content
# (previews, loading picture, detail, download progress, node list) for the same look check;
# then the download window in the middle of a real download from a slow server on 127.0.0.1,
# with the node window beside it (tests/wallpaper/download_window_main.cpp).
# The pictures land in build/screenshots/<scale>/; the script fails when a window is missing.
#   scripts/screenshots.sh            both scales
#   scripts/screenshots.sh 100        one scale
# Wine's background processes may hold a pipe open: send the output to a file, not a pipe.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scales=${*:-100 150}

if [ ! -f build/win/CMakeCache.txt ]; then
  cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
fi
cmake --build build/win -j2 --target MiaolanWallpaper ui_driver engine_gallery download_window >/dev/null || {
  echo "screenshots: build failed"; exit 1; }

# A screen of our own, large enough for the gallery's windows side by side at 150 %.
xvfb_log=$(mktemp)
Xvfb -displayfd 1 -screen 0 3400x1500x24 -nolisten tcp >"$xvfb_log" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$xvfb_log" ] && break; sleep 0.05; done
export DISPLAY=":$(head -1 "$xvfb_log")"
rm -f "$xvfb_log"
miaolan_xvfb_stop() { kill "$xvfb_pid" 2>/dev/null || true; }
out=$root/build/screenshots
exe=build/win/src/app/MiaolanWallpaper.exe
driver=build/win/tests/e2e/ui_driver.exe
app_pid=""

node_pid=$(bash scripts/node-demo.sh --background 2>"$out-node-demo.log") || {
  echo "screenshots: the demo node did not start; see $out-node-demo.log"; exit 1; }

cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  kill "$node_pid" 2>/dev/null || true
  [ -n "${WINESERVER:-}" ] && "$WINESERVER" -k >/dev/null 2>&1 || true
  miaolan_xvfb_stop
}
trap cleanup EXIT

# The X window of the program with exactly this title.
window_id() { timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -1; }

shoot() { # title, file
  local id
  id=$(window_id "$1" || true)
  [ -n "$id" ] || { echo "screenshots: no window titled $1"; exit 1; }
  xdotool windowraise "$id"
  sleep 0.5  # let the window finish its first paint
  xwd -id "$id" -silent | convert xwd:- "$2"
  echo "screenshots: $2 ($(identify -format '%wx%h' "$2"))"
}

step() { "$WINE" "$driver" "$1" </dev/null >/dev/null || { echo "screenshots: step $1 failed"; exit 1; }; }

for scale in $scales; do
  # Each scale runs in its own prefix, made from the test prefix, so the tests stay at 96 dpi.
  export MIAOLAN_WINE_ROOT=$root/build/win/wine
  [ "$scale" != 100 ] && MIAOLAN_WINE_ROOT=$root/build/win/wine-$scale
  source scripts/wine-env.sh
  if [ "$scale" != 100 ] && [ ! -f "$WINEPREFIX/.miaolan-ready" ]; then
    (export MIAOLAN_WINE_ROOT=$root/build/win/wine; source scripts/wine-env.sh; miaolan_wine_prefix)
    mkdir -p "$MIAOLAN_WINE_ROOT" "$HOME"
    cp -a "$root/build/win/wine/prefix" "$WINEPREFIX"
    "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $((96 * scale / 100)) /f \
      </dev/null >/dev/null 2>&1
    "$WINESERVER" -k >/dev/null 2>&1 || true
  fi
  miaolan_wine_prefix
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  mkdir -p "$out/$scale" "$out/samples"
  timeout 120 "$WINE" "$exe" </dev/null >/dev/null 2>&1 &
  app_pid=$!
  step main
  sleep 10  # the first page's previews, fetched from the node
  shoot "渺岚壁纸" "$out/$scale/main.png"
  step hd-view
  sleep 8
  shoot "渺岚壁纸" "$out/$scale/main-hd.png"
  step first-item
  sleep 3  # the full picture, fetched and decoded
  shoot "渺岚壁纸_详细描述" "$out/$scale/detail.png"
  step close-detail
  step 4k-view
  step settings
  shoot "渺岚壁纸_设置" "$out/$scale/settings.png"
  step rotation
  shoot "渺岚壁纸_自动更换" "$out/$scale/rotation.png"
  step close-rotation
  step display
  shoot "渺岚壁纸_显示设置" "$out/$scale/display.png"
  step close-display
  step close-settings
  step exit
  shoot "渺岚壁纸_退出" "$out/$scale/exit.png"
  step quit
  wait "$app_pid" || true
  app_pid=""

  # The gallery: previews drawn here (Debian's python with PIL), nothing fetched.
  [ -f "$out/samples/4.png" ] || /usr/bin/python3 - "$out/samples" <<'PY'
import sys
from PIL import Image, ImageDraw, ImageFilter
skies = [((255, 183, 94), (120, 80, 200)), ((135, 206, 250), (240, 248, 255)),
         ((20, 30, 70), (250, 120, 90)), ((170, 220, 200), (60, 120, 160))]
for n, (top, bottom) in enumerate(skies, 1):
    w, h = 592, 312
    img = Image.new("RGB", (w, h))
    d = ImageDraw.Draw(img)
    for y in range(h):
        t = y / h
        d.line((0, y, w, y), fill=tuple(int(top[i] + (bottom[i] - top[i]) * t) for i in range(3)))
    d.ellipse((400 - n * 40, 50, 470 - n * 40, 120), fill=(255, 240, 200))
    for k, shade in enumerate((0.55, 0.35, 0.2)):
        base = h * (0.55 + k * 0.15)
        pts = [(0, h)] + [(x, base - 60 * abs(((x * (k + n)) % 300) - 150) / 150) for x in range(0, w + 40, 40)] + [(w, h)]
        d.polygon(pts, fill=tuple(int(c * shade) for c in bottom))
    img.filter(ImageFilter.GaussianBlur(1)).save(f"{sys.argv[1]}/{n}.png")
PY
  timeout 60 "$WINE" build/win/tests/e2e/engine_gallery.exe "$out/samples/1.png" "$out/samples/2.png" \
    "$out/samples/3.png" "$out/samples/4.png" </dev/null >/dev/null 2>&1 &
  app_pid=$!
  shoot "渺岚壁纸" "$out/$scale/gallery-main.png"
  shoot "渺岚壁纸_详细描述" "$out/$scale/gallery-detail.png"
  shoot "渺岚壁纸_壁纸下载" "$out/$scale/gallery-download.png"
  shoot "渺岚壁纸_节点更换" "$out/$scale/gallery-node.png"
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""

  # A picture served slowly (8 KiB per connection every 0.25 s), with ranges, as a far node would.
  [ -f "$out/samples/slow.jpg" ] || convert -size 960x540 plasma:fractal -resize 1920x1080! -attenuate 0.2 \
    +noise Gaussian -quality 95 "$out/samples/slow.jpg"
  slow_port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  /usr/bin/python3 - "$slow_port" "$out/samples/slow.jpg" <<'PY' &
import http.server, socketserver, sys, time
data = open(sys.argv[2], "rb").read()
class Slow(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args): pass
    def do_GET(self):
        ranged = self.headers.get("Range")
        start = int(ranged.split("=")[1].split("-")[0]) if ranged else 0
        self.send_response(206 if ranged else 200)
        self.send_header("Content-Length", str(len(data) - start))
        if ranged: self.send_header("Content-Range", f"bytes {start}-{len(data) - 1}/{len(data)}")
        self.send_header("Connection", "close")
        self.end_headers()
        try:
            for at in range(start, len(data), 8192):
                self.wfile.write(data[at:at + 8192]); self.wfile.flush(); time.sleep(0.25)
        except OSError: pass
class Server(socketserver.ThreadingMixIn, http.server.HTTPServer): daemon_threads = True
Server(("127.0.0.1", int(sys.argv[1])), Slow).serve_forever()
PY
  slow_pid=$!
  sleep 0.5
  timeout 60 "$WINE" build/win/tests/wallpaper/download_window.exe "http://127.0.0.1:$slow_port/slow.jpg" \
    'C:\users\Public\miaolan-shot' </dev/null >/dev/null 2>&1 &
  app_pid=$!
  window_id "渺岚壁纸_壁纸下载" >/dev/null
  sleep 3  # a few progress ticks
  shoot "渺岚壁纸_壁纸下载" "$out/$scale/download.png"
  shoot "渺岚壁纸_节点更换" "$out/$scale/node.png"
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
  kill "$slow_pid" 2>/dev/null || true
  "$WINESERVER" -k >/dev/null 2>&1 || true
done
