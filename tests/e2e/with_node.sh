#!/usr/bin/env bash
# Runs a whole-program test exe under Wine against the real node.
#
#   with_node.sh NODE TEST_EXE WORK SHOTS [test arguments...]
#
# Builds a small catalogue of single-colour pictures (once, beside WORK), starts NODE on
# 127.0.0.1:1629 (the port the program is built for; HTTP on a free port) with a fresh cache,
# and runs TEST_EXE inside a Wine virtual desktop on a private Xvfb, so that the program in it
# changes a desktop whose pixels the test can read. While the test runs, it may
# write "restart" into WORK/node-command; the node is then stopped and started again and
# WORK/node-restarted appears. The exit code is the test's: 0 only when every test passed.
# Screenshots the test takes as BMP in SHOTS are converted to PNG.
set -uo pipefail
node=$1 exe=$2 work=$3 shots=$4
shift 4
root=$(cd "$(dirname "$0")/../.." && pwd)

if [ ! -x "$node" ]; then
  echo "with_node: no node at $node; build the native tree first (scripts/test.sh does)"
  exit 1
fi
# Each run has a machine of its own as the program sees it: its own network (its node takes
# 127.0.0.1:1629 whatever else runs), its own X screen, and its own copy of the test prefix with
# its own wineserver (window titles, the desktop values and the Run keys are the prefix's). So
# whole-program tests run side by side. Where no private network can be made (unshare needs
# root) the run uses the machine's port, and ctest runs these tests one at a time
# (CMakeLists.txt here).
if [ -z "${MIAOLAN_E2E_PRIVATE:-}" ] && unshare --net true 2>/dev/null && command -v ip >/dev/null; then
  MIAOLAN_E2E_PRIVATE=1 exec unshare --net bash "$0" "$node" "$exe" "$work" "$shots" "$@"
fi
if [ -n "${MIAOLAN_E2E_PRIVATE:-}" ]; then
  ip link set lo up || exit 1
fi
if (exec 3<>/dev/tcp/127.0.0.1/1629) 2>/dev/null; then
  echo "with_node: 127.0.0.1:1629 is taken (a demo node still running?); the program can reach no other port"
  exit 1
fi
rm -rf "$work" "$shots"
mkdir -p "$work" "$shots"

# The catalogue: two pictures per category, each of one colour, listed with their colours in
# catalogue.txt ("category/file r g b", UTF-8) so the test knows a picture by its pixels.
catalogue=$(dirname "$work")/e2e-catalogue
# Runs side by side build it once: the others wait for the first.
exec 8>"$(dirname "$work")/.e2e-catalogue.lock"
flock 8
if [ ! -f "$catalogue/.built" ] || [ "$catalogue/.built" -ot "$0" ]; then
  rm -rf "$catalogue"
  mkdir -p "$catalogue"
  i=0
  for c in 4K最新 4K风景 4K美女 4K汽车 4K动漫 4K游戏 4K动物 K最新 K风景 K美女 K汽车 K动漫 K游戏 K动物; do
    mkdir -p "$catalogue/$c"
    for j in 1 2; do
      i=$((i + 1))
      r=$(((i * 53) % 200 + 30)) g=$(((i * 97) % 200 + 30)) b=$(((i * 151) % 200 + 30))
      convert -size 800x450 "xc:rgb($r,$g,$b)" -quality 98 "$catalogue/$c/p$j.jpg"
      echo "$c/p$j.jpg $r $g $b" >>"$catalogue/catalogue.txt"
    done
  done
  touch "$catalogue/.built"
fi
flock -u 8
exec 8>&-
cp "$catalogue/catalogue.txt" "$work/catalogue.txt"

http_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
node_pid=""
start_node() {
  "$node" "$catalogue" --listen 127.0.0.1:1629 --http "127.0.0.1:$http_port" --cache "$work/node-cache" \
    --verbose </dev/null >>"$work/node.log" 2>&1 &
  node_pid=$!
  for _ in $(seq 300); do
    (exec 3<>/dev/tcp/127.0.0.1/1629) 2>/dev/null && return 0
    kill -0 "$node_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "with_node: the node did not start; see $work/node.log"
  tail -5 "$work/node.log"
  return 1
}
stop_node() {
  [ -n "$node_pid" ] || return 0
  kill "$node_pid" 2>/dev/null
  wait "$node_pid" 2>/dev/null
  node_pid=""
}

export MIAOLAN_WINE_ROOT=${MIAOLAN_WINE_ROOT:-$root/build/win/wine}
source "$root/scripts/wine-env.sh"
miaolan_wine_private_prefix "$work/wine" || exit 1
unset DISPLAY
source "$root/scripts/xvfb-env.sh"
# A server of its own, ended with the run, so no Wine process outlives the test; Wine's own
# background processes start here, away from the test's output (which they would hold open).
"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$WINE" wineboot </dev/null >/dev/null 2>&1
trap 'stop_node; "$WINESERVER" -k >/dev/null 2>&1; miaolan_xvfb_stop' EXIT
start_node || exit 1

# The test finds its folders here (Linux paths; it reaches them through Z:).
export MIAOLAN_E2E_WORK=$work MIAOLAN_E2E_SHOTS=$shots
result=$work/result.xml
# Wine's virtual desktop ends with the last program in it; its own exit code says nothing, so
# the result comes from the test's report.
timeout 600 "$WINE" explorer /desktop=miaolan-e2e,1600x1000 "$exe" "--gtest_output=xml:Z:${result//\//\\}" \
  "$@" </dev/null &
test_pid=$!
while kill -0 "$test_pid" 2>/dev/null; do
  if [ -f "$work/node-command" ]; then
    command=$(cat "$work/node-command")
    rm -f "$work/node-command"
    if [ "$command" = restart ]; then
      echo "with_node: restarting the node"
      stop_node
      start_node && touch "$work/node-restarted"
    fi
  fi
  sleep 0.1
done
wait "$test_pid"

for bmp in "$shots"/*.bmp; do
  [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
[ -n "$(ls "$shots")" ] && echo "with_node: screenshots in $shots"
if [ ! -f "$result" ]; then
  echo "with_node: the test left no result; node log: $work/node.log"
  exit 1
fi
if grep -q '<testsuites[^>]* failures="0"[^>]* errors="0"' "$result" && ! grep -q '<failure' "$result" &&
  ! grep -q '<testsuites tests="0"' "$result"; then
  exit 0
fi
echo "with_node: failed; node log: $work/node.log"
exit 1
