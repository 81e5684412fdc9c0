#!/usr/bin/env bash
# Installs what the node needs, builds it, builds a demo catalogue from Debian's wallpaper
# packages into build/demo-catalogue and runs the node on 127.0.0.1:1629 (HTTP 1630).
#
#   scripts/node-demo.sh               runs in the foreground; Ctrl-C stops it
#   scripts/node-demo.sh --background  starts it, waits until it answers, prints its PID
#                                      (log in build/demo-node.log; stop with kill PID)
#   scripts/node-demo.sh --catalogue   only builds the catalogue and prints its folder
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mode=${1:-}
case "$mode" in ""|--background|--catalogue) ;; *) echo "usage: $0 [--background | --catalogue]" >&2; exit 2 ;; esac

# Only the PID goes to standard output in --background mode; everything else to stderr.
exec 3>&1 1>&2
bash scripts/setup.sh
cmake -S . -B build/native -G Ninja >/dev/null
cmake --build build/native -j2 --target miaolan-node >/dev/null
node=$root/build/native/server/miaolan-node

demo=$root/build/demo-catalogue
stamp=$demo/.built
if [ ! -f "$stamp" ] || [ "$stamp" -ot "$0" ]; then
  echo "demo: building the catalogue in $demo"
  rm -rf "$demo"
  mkdir -p "$demo"
  g=/usr/share/backgrounds/gnome
  m=/usr/share/backgrounds/mate
  put() { # category, files...
    local cat=$1; shift
    mkdir -p "$demo/$cat"
    for f in "$@"; do
      [ -f "$f" ] || { echo "demo: missing $f" >&2; continue; }
      [ -e "$demo/$cat/$(basename "$f")" ] && continue
      ln "$f" "$demo/$cat/$(basename "$f")" 2>/dev/null || cp "$f" "$demo/$cat/"
    done
  }
  # Left out: Flow, Gulp, Silk, Spring, Waves, MATE-Stripes-Light and Arc-Colors-Transparent are
  # white shapes on a transparent ground, meant for a coloured desktop; on white they are blank.
  # Pictures narrower than 3840 px that the 4K view needs more of are enlarged with vips.
  big=$demo/.upscaled
  mkdir -p "$big"
  up() { # file -> echoes the 3840 px copy
    local out=$big/$(basename "${1%.*}")-3840.jpg
    if [ ! -f "$out" ]; then
      vips resize "$1" "$out[Q=90]" "$(awk -v w="$(vipsheader -f width "$1")" 'BEGIN{print 3840/w}')" >/dev/null
    fi
    echo "$out"
  }
  put 4K最新 $g/adwaita-l.webp $g/wood-d.webp $m/abstract/Elephants_5640x3172.jpg $g/truchet-l.webp
  put 4K风景 $g/wood-l.webp $g/wood-d.webp "$(up $m/nature/Aqua.jpg)" "$(up $m/nature/Garden.jpg)"
  put 4K美女 "$(up $m/nature/YellowFlower.jpg)" "$(up $m/nature/LadyBird.jpg)" $g/licorice-l.webp
  put 4K汽车 $g/grid-d.webp $g/grid-l.webp "$(up $m/desktop/Stripes.png)"
  put 4K动漫 $g/adwaita-d.webp $g/adwaita-l.webp $g/truchet-d.webp $g/licorice-d.webp
  put 4K游戏 $g/pixels-d.webp $g/pixels-l.webp $g/symbolic-d.webp $g/symbolic-l.webp
  put 4K动物 $m/abstract/Elephants_3840x2160.jpg $m/abstract/Elephants_5640x3172.jpg "$(up $m/nature/TwoWings.jpg)"
  put K最新 $m/nature/Storm.jpg $m/desktop/Float-into-MATE.png $g/grid-d.webp $m/nature/RainDrops.jpg
  put K风景 $m/nature/Aqua.jpg $m/nature/Garden.jpg $m/nature/Dune.jpg $m/nature/GreenMeadow.jpg \
    $m/nature/Storm.jpg $m/nature/RainDrops.jpg $m/nature/Wood.jpg $m/nature/Blinds.jpg
  put K美女 $m/nature/YellowFlower.jpg $m/nature/FreshFlower.jpg $g/vnc-l.webp $g/vnc-d.webp
  put K汽车 $m/desktop/Stripes.png $m/desktop/MATE-Stripes-Dark.png $g/licorice-d.webp \
    $m/desktop/GreenTraditional.jpg
  put K动漫 $g/adwaita-d.webp $g/truchet-d.webp $g/symbolic-d.webp \
    $m/desktop/Ubuntu-Mate-Cold-no-logo.png $m/desktop/Ubuntu-Mate-Warm-no-logo.png
  put K游戏 $m/desktop/Ubuntu-Mate-Dark-no-logo.png $m/desktop/Ubuntu-Mate-Radioactive-no-logo.png \
    $g/pixels-d.webp $m/desktop/Float-into-MATE.png
  put K动物 $m/nature/LadyBird.jpg $m/nature/TwoWings.jpg $m/abstract/Elephants.jpg
  # "最新" also holds every picture of its view, so its pages are full and there is a second one.
  put 4K最新 "$demo"/4K{风景,美女,汽车,动漫,游戏,动物}/*
  put K最新 "$demo"/K{风景,美女,汽车,动漫,游戏,动物}/*
  upscaled=$(find "$big" -type f | wc -l)
  [ "$upscaled" -eq 0 ] || echo "demo: $upscaled pictures were enlarged to 3840 px with vips for the 4K view"
  touch "$stamp"
fi
if [ "$mode" = --catalogue ]; then
  echo "$demo" >&3
  exit 0
fi

args=("$demo" --listen 127.0.0.1:1629 --http 127.0.0.1:1630)
if [ "$mode" = --background ]; then
  log=$root/build/demo-node.log
  "$node" "${args[@]}" </dev/null >"$log" 2>&1 3>&- &
  pid=$!
  for _ in $(seq 1 100); do
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "demo: the node did not start; see $log" >&2
      tail -5 "$log" >&2
      exit 1
    fi
    if (exec 3<>/dev/tcp/127.0.0.1/1629) 2>/dev/null && (exec 3<>/dev/tcp/127.0.0.1/1630) 2>/dev/null; then
      echo "$pid" >&3
      exit 0
    fi
    sleep 0.1
  done
  echo "demo: the node does not answer on 127.0.0.1:1629; see $log" >&2
  kill "$pid" 2>/dev/null || true
  exit 1
fi
echo "demo: node on 127.0.0.1:1629, HTTP on 127.0.0.1:1630 (Ctrl-C stops it)"
exec "$node" "${args[@]}" 1>&3 3>&-
