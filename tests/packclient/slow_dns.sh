#!/usr/bin/env bash
# Runs a test exe in private user, mount and network namespaces whose name server is
# 127.0.0.1:53, where the test itself listens and never answers: a name server that hangs.
# Exit 77 (skipped) where the system allows no namespaces.
set -euo pipefail
if [ -z "${MIAOLAN_SLOW_DNS:-}" ]; then
  unshare --user --map-root-user --mount --net true 2>/dev/null || { echo "no namespaces here"; exit 77; }
  MIAOLAN_SLOW_DNS=1 exec unshare --user --map-root-user --mount --net "$0" "$@"
fi
ip link set lo up
conf=$(mktemp)
trap 'rm -f "$conf"' EXIT
# One try of 30 s per query: far beyond any bound the code under test may take.
printf 'nameserver 127.0.0.1\noptions timeout:30 attempts:1\n' >"$conf"
mount --bind "$conf" /etc/resolv.conf
"$@"
