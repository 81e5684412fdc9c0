#!/usr/bin/env bash
# Starts the cluster on free ports, runs tests/server/cluster_test against it and stops it.
#   server/deploy/cluster-test.sh [BUILD_DIR]   (default build/native, configured already)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build/native}
cmake --build "$build" --target miaolan-node cluster_test >/dev/null

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
# The picture cache stays between runs; PostgreSQL and everything else start fresh.
dir=$build/cluster-test
front=$(free_port)
pictures=$(free_port)
while [ "$pictures" = "$front" ]; do pictures=$(free_port); done
trap 'bash "$here/cluster.sh" stop --dir "$dir"' EXIT
# The demo catalogue, linked file by file, so the test may add a picture and rescan.
demo=$(bash "$root/scripts/node-demo.sh" --catalogue)
mkdir -p "$dir"
rm -rf "$dir/catalogue"
cp -al "$demo" "$dir/catalogue"
rm -rf "$dir/catalogue/.miaolan-node"
started=$(date +%s%N)
MIAOLAN_NODE=$build/server/miaolan-node timeout 150 bash "$here/cluster.sh" start --front "$front" \
  --pictures "$pictures" --dir "$dir" --catalogue "$dir/catalogue"
echo "cluster-test: cluster up in $((($(date +%s%N) - started) / 1000000)) ms"
MIAOLAN_CLUSTER_ENV=$dir/cluster.env timeout 120 "$build/tests/server/cluster_test"
