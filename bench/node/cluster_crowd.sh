#!/usr/bin/env bash
# The crowd bench through the cluster form: starts two nodes behind HAProxy (server/deploy/
# cluster.sh, on free ports), runs `node_bench --crowd` against HAProxy's front port (500
# browsing clients alone, then beside 10,000 idle ones, in rounds) and stops the cluster
# whatever happens.
#
#   bench/node/cluster_crowd.sh [--rounds 3] [--idle 10000] [--clients 500] [--seconds 20]
#                               [--haproxy-processes N] [--build DIR]
#
# --build defaults to build/native (configured already); --haproxy-processes to as many as the
# hard open-file limit needs for the crowd.
#
# Prints the p99 ratios beside/alone, the nodes' RSS and memory per idle client, and the load
# average before and after (the tails on a shared machine are mostly the machine's).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$root/build/native rounds=3 idle=10000 clients=500 seconds=20 processes=""
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --idle) idle=$2; shift 2 ;;
    --clients) clients=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --haproxy-processes) processes=$2; shift 2 ;;
    *) echo "usage: $0 [--rounds N] [--idle N] [--clients N] [--seconds S] [--haproxy-processes N] [--build DIR]" >&2; exit 2 ;;
  esac
done
build=$(cd "$build" && pwd)
cmake --build "$build" --target miaolan-node node_bench >/dev/null

# HAProxy holds two descriptors per client, so one process holds about half the hard open-file
# limit; where that is below the crowd (20,000 here holds 9,900), the front port gets more
# processes. The bench itself holds one descriptor per client, the nodes half the crowd each.
hard=$(ulimit -Hn)
need=$((idle + clients + 100))
if [ "$hard" != unlimited ]; then
  per=$(((hard - 200) / 2))
  [ -n "$processes" ] || processes=$(((need + per - 1) / per))
  if [ $((need + 100)) -gt "$hard" ]; then
    echo "cluster_crowd: the bench needs $need descriptors in one process; the hard limit is $hard" >&2
    exit 1
  fi
fi
processes=${processes:-1}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
front=$(free_port)
pictures=$(free_port)
while [ "$pictures" = "$front" ]; do pictures=$(free_port); done
dir=$build/cluster-bench
catalogue=()
[ -f "$root/build/demo-catalogue/.built" ] && catalogue=(--catalogue "$root/build/demo-catalogue")

trap 'bash "$root/server/deploy/cluster.sh" stop --dir "$dir"' EXIT
trap 'exit 130' INT TERM
MIAOLAN_NODE=$build/server/miaolan-node timeout 150 bash "$root/server/deploy/cluster.sh" start \
  --front "$front" --pictures "$pictures" --dir "$dir" --haproxy-processes "$processes" "${catalogue[@]}"
# The first node makes every preview ahead; its memory settles once that is done.
for _ in $(seq 1 600); do
  grep -q 'cache: ready' "$dir/node1.log" && break
  sleep 1
done
grep -h 'cache: ready' "$dir/node1.log" || echo "cluster_crowd: node 1 is still making previews; its memory may move" >&2
echo "cluster_crowd: hard open-file limit $hard; HAProxy in $processes process(es); load average $(cut -d' ' -f1-3 /proc/loadavg)"
# In the background, so a signal to this script ends the bench at once and then the cluster.
status=0
"$build/bench/node/node_bench" --crowd --cluster-env "$dir/cluster.env" --rounds "$rounds" --idle "$idle" \
  --clients "$clients" --seconds "$seconds" &
bench=$!
trap 'kill "$bench" 2>/dev/null; exit 130' INT TERM
wait "$bench" || status=$?
echo "cluster_crowd: load average after $(cut -d' ' -f1-3 /proc/loadavg)"
for n in 1 2; do
  refused=$(grep -c ': refused ' "$dir/node$n.log" || true)
  echo "cluster_crowd: node $n logged $refused refusal line(s)"
done
exit "$status"
