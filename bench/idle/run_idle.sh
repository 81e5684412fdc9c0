#!/usr/bin/env bash
# Idle cost of the program as it runs all day: under Wine, connected to the demo node, main
# window hidden, rotation on (every 5 minutes), measured over a quiet stretch against an
# anchor, a program with one hidden window that only waits, running at the same time.
#
#   bash bench/idle/run_idle.sh [--minutes M] [--runs N] [--settle S]
#
# Per run and then as median [min, max] over the runs: private memory (Linux: RssAnon and
# the private pages of smaps_rollup; Windows: PrivateUsage), CPU over the stretch, and
# wake-ups per second of each thread, for the program and the anchor. Wake-ups are counted as
# context switches: under Wine every wait and most system calls are a round trip to the
# wineserver, so one wake-up of a thread shows as several switches.
# Goal: private memory under 25 MB, no wake-ups beyond the one-second rotation pass and the
# packet library's own.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
minutes=10 runs=1 settle=30
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes) minutes=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --settle) settle=$2; shift 2 ;;
    *) echo "usage: $0 [--minutes M] [--runs N] [--settle S]" >&2; exit 2 ;;
  esac
done
seconds=$(awk -v m="$minutes" 'BEGIN{printf "%d", m * 60}')

bash scripts/setup.sh
echo "idle: building"
cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build/win -j2 --target MiaolanWallpaper hpsocket4c idle_anchor idle_probe >/dev/null
node_pid=$(bash scripts/node-demo.sh --background)

work=$root/build/bench-idle
export MIAOLAN_WINE_ROOT=$work/wine
source scripts/wine-env.sh
source scripts/xvfb-env.sh
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  kill "$node_pid" 2>/dev/null || true
  "$WINESERVER" -k >/dev/null 2>&1 || true
  miaolan_xvfb_stop
}
trap cleanup EXIT
trap 'exit 130' INT TERM
miaolan_wine_prefix
"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$WINE" wineboot </dev/null >/dev/null 2>&1
probe=$root/build/win/bench/idle/idle_probe.exe
hz=$(getconf CLK_TCK)

# Linux view of one process: "cpu_ticks rss_anon_kB private_kB".
linux_counters() {
  local p=$1 cpu anon private
  cpu=$(awk '{print $14 + $15}' "/proc/$p/stat")
  anon=$(awk '/^RssAnon:/ {print $2}' "/proc/$p/status")
  private=$(awk '/^Private_(Clean|Dirty):/ {s += $2} END {print s}' "/proc/$p/smaps_rollup")
  echo "$cpu $anon $private"
}
# Context switches per thread: "tid switches" lines.
thread_switches() {
  local t
  for t in /proc/"$1"/task/*; do
    echo "$(basename "$t")/$(tr -d ' ' <"$t/comm") $(awk '/ctxt_switches/ {s += $2} END {print s}' "$t/status")"
  done | sort
}
# The Linux process of a Windows exe started from this path.
linux_pid_of() {
  local p
  for _ in $(seq 100); do
    p=$(pgrep -f -n -- "$1" || true)
    [ -n "$p" ] && { echo "$p"; return; }
    sleep 0.1
  done
  return 1
}

results=$work/results.txt
: >"$results"
for run in $(seq "$runs"); do
  program=$work/program
  rm -rf "$program" "$work/storage"
  mkdir -p "$program/data" "$work/storage"
  cp build/win/src/app/MiaolanWallpaper.exe build/win/HPSocket4C.dll "$program/"
  storage=$("$WINE" winepath -w "$work/storage" 2>/dev/null)
  printf '[常规设置]\r\n路径=%s\r\n[自动更换]\r\n类型=0\r\n周期=5\r\n' "$storage" | iconv -f UTF-8 -t GBK \
    >"$program/data/Config.ini"

  "$WINE" build/win/bench/idle/idle_anchor.exe </dev/null >/dev/null 2>&1 &
  pids+=($!)
  "$WINE" "$program/MiaolanWallpaper.exe" </dev/null >/dev/null 2>&1 &
  pids+=($!)
  "$WINE" "$probe" hide </dev/null >/dev/null 2>&1 || { echo "idle: the main window did not hide"; exit 1; }
  app=$(linux_pid_of "$program/MiaolanWallpaper.exe")
  anchor=$(linux_pid_of "idle_anchor.exe")
  echo "idle: run $run: program pid $app, anchor pid $anchor; settling ${settle} s, then ${minutes} min"
  sleep "$settle"

  read -r a_cpu0 _ _ < <(linux_counters "$app")
  read -r n_cpu0 _ _ < <(linux_counters "$anchor")
  thread_switches "$app" >"$work/threads-app-0"
  thread_switches "$anchor" >"$work/threads-anchor-0"
  read -r _ _ w_app_cpu0 < <("$WINE" "$probe" counters program </dev/null 2>/dev/null)
  peak_app=0 peak_anchor=0
  for _ in $(seq $((seconds / 10))); do
    sleep 10
    read -r _ anon _ < <(linux_counters "$app")
    [ "$anon" -gt "$peak_app" ] && peak_app=$anon
    read -r _ anon _ < <(linux_counters "$anchor")
    [ "$anon" -gt "$peak_anchor" ] && peak_anchor=$anon
  done
  read -r a_cpu1 a_anon a_private < <(linux_counters "$app")
  read -r n_cpu1 n_anon n_private < <(linux_counters "$anchor")
  thread_switches "$app" >"$work/threads-app-1"
  thread_switches "$anchor" >"$work/threads-anchor-1"
  read -r w_app_private _ w_app_cpu1 < <("$WINE" "$probe" counters program </dev/null 2>/dev/null)
  read -r w_anchor_private _ _ < <("$WINE" "$probe" counters anchor </dev/null 2>/dev/null)

  # Wake-ups per second of every thread that woke at least once a minute.
  wakes() {
    join "$work/threads-$1-0" "$work/threads-$1-1" |
      awk -v s="$seconds" '{r = ($3 - $2) / s; t += r; if (r >= 1 / 60) l = l sprintf(" %s=%.2f", $1, r)} END {printf "%.2f (threads:%s)", t, l}'
  }
  app_cpu=$(awk -v a="$a_cpu0" -v b="$a_cpu1" -v hz="$hz" -v s="$seconds" 'BEGIN{printf "%.3f", (b - a) / hz / s * 100}')
  anchor_cpu=$(awk -v a="$n_cpu0" -v b="$n_cpu1" -v hz="$hz" -v s="$seconds" 'BEGIN{printf "%.3f", (b - a) / hz / s * 100}')
  w_cpu=$(awk -v a="$w_app_cpu0" -v b="$w_app_cpu1" -v s="$seconds" 'BEGIN{printf "%.3f", (b - a) / 1e7 / s * 100}')
  app_wakes=$(wakes app)
  anchor_wakes=$(wakes anchor)
  mb() { awk -v k="$1" 'BEGIN{printf "%.1f", k / 1024}'; }
  echo "idle: run $run program: RssAnon $(mb "$a_anon") MB (peak $(mb "$peak_app")), private pages $(mb "$a_private") MB, Windows PrivateUsage $(mb $((w_app_private / 1024))) MB, CPU ${app_cpu} % (Windows view ${w_cpu} %), switches/s ${app_wakes}"
  echo "idle: run $run anchor:  RssAnon $(mb "$n_anon") MB (peak $(mb "$peak_anchor")), private pages $(mb "$n_private") MB, Windows PrivateUsage $(mb $((w_anchor_private / 1024))) MB, CPU ${anchor_cpu} %, switches/s ${anchor_wakes}"
  echo "$a_anon $a_private $w_app_private $app_cpu ${app_wakes%% *} $n_anon $n_private $w_anchor_private $anchor_cpu ${anchor_wakes%% *}" >>"$results"

  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  pids=()
  kill "$app" "$anchor" 2>/dev/null || true
  sleep 1
done

# Median [min, max] of one column of the results.
summary() {
  cut -d' ' -f"$1" "$results" | sort -g |
    awk -v scale="$2" '{v[NR] = $1 / scale} END {m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
      printf "%.2f [%.2f, %.2f]", m, v[1], v[NR]}'
}
# The program's figure over the anchor's; "-" when the anchor's is 0 in some run.
ratio() {
  awk '$'"$2"' <= 0 {zero = 1} {print $'"$1"' / ($'"$2"' > 0 ? $'"$2"' : 1)} END {if (zero) print "zero"}' "$results" |
    sort -g | awk '/zero/ {z = 1; next} {v[++n] = $1}
      END {if (z || !n) {printf "-"; exit}; m = (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2;
        printf "%.2f [%.2f, %.2f]", m, v[1], v[n]}'
}
echo "idle: ${runs} run(s) of ${minutes} min, median [min, max]"
echo "idle: program RssAnon MB $(summary 1 1024), private pages MB $(summary 2 1024), Windows PrivateUsage MB $(summary 3 1048576)"
echo "idle: program CPU % $(summary 4 1), switches/s $(summary 5 1)"
echo "idle: anchor  RssAnon MB $(summary 6 1024), private pages MB $(summary 7 1024), Windows PrivateUsage MB $(summary 8 1048576)"
echo "idle: anchor  CPU % $(summary 9 1), switches/s $(summary 10 1)"
echo "idle: program/anchor: RssAnon $(ratio 1 6), private pages $(ratio 2 7), CPU $(ratio 4 9), switches $(ratio 5 10)"
