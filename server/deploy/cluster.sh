#!/usr/bin/env bash
# The cluster form of the node on one machine, from Debian's packages: PostgreSQL in a fresh
# data folder (shared counts, notices and rescans between nodes), two nodes on one catalogue,
# HAProxy in front of their pack ports and nginx in front of their pictures.
#
#   server/deploy/cluster.sh start [--front PORT] [--pictures PORT] [--dir DIR] [--catalogue DIR]
#                                  [--haproxy-processes N]
#   server/deploy/cluster.sh stop [--dir DIR]
#
#   --front PORT     where clients connect (HAProxy; default 1629)
#   --pictures PORT  where clients fetch pictures (nginx; default 1630); the nodes' [mirror] id
#   --dir DIR        configuration, logs and pids (default build/cluster); the picture cache
#                    the nodes share stays there between runs, PostgreSQL's data does not
#   --catalogue DIR  the pictures (default: the demo catalogue of scripts/node-demo.sh)
#   --haproxy-processes N
#                    HAProxy processes sharing the front port (default 1). Each client takes two
#                    descriptors in HAProxy, so one process holds about half the hard open-file
#                    limit (`ulimit -Hn`) in clients; where that limit cannot be raised, N
#                    processes hold N times as many. They bind the port with SO_REUSEPORT and
#                    the kernel spreads new clients over them; each checks the nodes itself.
#
# The nodes listen on free ports of their own choosing; `start` writes every address, pid and
# the administrator token to DIR/cluster.env. PostgreSQL listens only on a Unix socket in its
# own folder under /tmp.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

action=${1:-}
[ $# -gt 0 ] && shift
front=1629 pictures=1630 dir=$root/build/cluster catalogue="" haproxies=1
while [ $# -gt 0 ]; do
  case "$1" in
    --front) front=$2; shift 2 ;;
    --pictures) pictures=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --catalogue) catalogue=$2; shift 2 ;;
    --haproxy-processes) haproxies=$2; shift 2 ;;
    *) echo "cluster: unknown option $1" >&2; exit 2 ;;
  esac
done
[[ $haproxies =~ ^[1-9][0-9]?$ ]] || { echo "cluster: --haproxy-processes takes 1 to 99" >&2; exit 2; }
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
node_bin=${MIAOLAN_NODE:-$root/build/native/server/miaolan-node}
pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
say() { echo "cluster: $*" >&2; }

# initdb and pg_ctl refuse to run as root; then they run as Debian's postgres user, or one
# made for this.
as_pg() {
  if [ "$(id -u)" -ne 0 ]; then (cd /tmp && "$@"); return; fi
  local user=postgres
  if ! id "$user" >/dev/null 2>&1; then
    user=miaolan-pg
    id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
  fi
  (cd /tmp && runuser -u "$user" -- "$@")
}
pg_owner() { if [ "$(id -u)" -ne 0 ]; then id -un; elif id postgres >/dev/null 2>&1; then echo postgres; else echo miaolan-pg; fi; }

# A pid we recorded, still alive and still the program we started (pids are reused).
alive() { # pidfile, program name
  local pid
  [ -f "$1" ] || return 1
  pid=$(cat "$1" 2>/dev/null) || return 1
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && grep -q "$2" "/proc/$pid/cmdline" 2>/dev/null
}

stop_pid() { # pidfile, program name, signal
  alive "$1" "$2" || { rm -f "$1"; return 0; }
  local pid
  pid=$(cat "$1")
  kill "-$3" "$pid" 2>/dev/null || true
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || { rm -f "$1"; return 0; }
    sleep 0.1
  done
  say "$2 ($pid) did not stop in 10 s; killing it"
  kill -KILL "$pid" 2>/dev/null || true
  rm -f "$1"
}

# HAProxy process k keeps its files as haproxy.* (the first) or haproxy-k.*.
hap_name() { if [ "$1" = 1 ]; then echo haproxy; else echo "haproxy-$1"; fi; }

stop_all() {
  local f
  for f in "$dir"/haproxy.pid "$dir"/haproxy-*.pid; do
    if [ -e "$f" ]; then stop_pid "$f" haproxy USR1; fi
  done
  stop_pid "$dir/nginx.pid" nginx QUIT
  for n in 1 2; do stop_pid "$dir/node$n.pid" miaolan-node TERM; done
  if [ -f "$dir/pgroot" ]; then
    local pg
    pg=$(cat "$dir/pgroot")
    if [ -f "$pg/data/postmaster.pid" ]; then
      as_pg "$pgbin/pg_ctl" -D "$pg/data" -m fast -w -t 20 stop >/dev/null || say "PostgreSQL did not stop"
    fi
    case "$pg" in /tmp/miaolan-cluster-pg.*) rm -rf "$pg" ;; esac
    rm -f "$dir/pgroot"
  fi
}

wait_log() { # file, pattern, pid -> prints the matching line
  local line
  for _ in $(seq 1 300); do
    line=$(grep -m1 -E "$2" "$1" 2>/dev/null || true)
    if [ -n "$line" ]; then echo "$line"; return 0; fi
    kill -0 "$3" 2>/dev/null || break
    sleep 0.1
  done
  return 1
}

start_all() {
  local names=(haproxy nginx node1 node2) f
  for f in "$dir"/haproxy-*.pid; do if [ -e "$f" ]; then names+=("$(basename "$f" .pid)"); fi; done
  for f in "${names[@]}"; do
    if alive "$dir/$f.pid" "${f%%[-12]*}"; then
      say "already running ($dir/$f.pid); stop it first"
      exit 1
    fi
  done
  [ -x "$node_bin" ] || { say "no node at $node_bin (build the miaolan-node target)"; exit 1; }
  [ -n "$pgbin" ] || { say "PostgreSQL is not installed (scripts/setup.sh)"; exit 1; }
  if [ -z "$catalogue" ]; then catalogue=$(bash "$root/scripts/node-demo.sh" --catalogue); fi
  catalogue=$(cd "$catalogue" && pwd)
  rm -f "$dir"/*.log "$dir/cluster.env"

  # PostgreSQL: a fresh data folder, reachable only through its socket folder.
  local pg
  pg=$(mktemp -d /tmp/miaolan-cluster-pg.XXXXXX)
  echo "$pg" >"$dir/pgroot"
  chown "$(pg_owner)" "$pg"
  chmod 700 "$pg"
  as_pg "$pgbin/initdb" -D "$pg/data" -U postgres -A trust -E UTF8 --locale=C --no-sync >"$dir/postgres-init.log" 2>&1 ||
    { say "initdb failed; see $dir/postgres-init.log"; stop_all; exit 1; }
  as_pg "$pgbin/pg_ctl" -D "$pg/data" -l "$pg/postgres.log" -w -t 30 \
    -o "-c listen_addresses='' -c unix_socket_directories='$pg' -c max_connections=50" start >/dev/null ||
    { say "PostgreSQL did not start; see $pg/postgres.log"; stop_all; exit 1; }
  as_pg "$pgbin/createdb" -h "$pg" -U postgres miaolan ||
    { say "createdb failed"; stop_all; exit 1; }
  local database="postgresql:///miaolan?host=$pg&user=postgres"

  # Two nodes on one catalogue and one picture cache; only the first makes previews ahead.
  local token
  token=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
  mkdir -p "$dir/cache"
  # A node with an admin listener of its own also reads the PROXY protocol from trusted
  # addresses: then HAProxy says who each client is (so per-address shares and logs see the
  # client, not HAProxy), and the admin endpoint gets a free port of its own. An older node
  # serves the admin endpoint on its HTTP port and sees every client as HAProxy.
  local extra=() proxy_conf="" proxy_server=""
  if "$node_bin" --help 2>&1 | grep -q -- '--admin HOST'; then
    extra=(--admin 127.0.0.1:0)
    proxy_conf="proxy_protocol_from = 127.0.0.2"
    proxy_server="send-proxy-v2 check-send-proxy"
  fi
  declare -A pack http admin
  for n in 1 2; do
    cat >"$dir/node$n.conf" <<EOF
# Written by cluster.sh start.
[node]
listen = 127.0.0.1:0
http = 127.0.0.1:0
catalogue = $catalogue
cache = $dir/cache
database = $database
pregenerate = $([ "$n" = 1 ] && echo true || echo false)
$proxy_conf

[mirror]
id = http://127.0.0.1:$pictures
region = 本地集群
sponsor = 渺岚壁纸 集群
site = http://127.0.0.1:$pictures/
EOF
    "$node_bin" --config "$dir/node$n.conf" --admin-token "$token" "${extra[@]}" </dev/null >"$dir/node$n.log" 2>&1 &
    echo $! >"$dir/node$n.pid"
  done
  for n in 1 2; do
    local line
    line=$(wait_log "$dir/node$n.log" 'node: protocol on' "$(cat "$dir/node$n.pid")") ||
      { say "node $n did not start; see $dir/node$n.log"; tail -3 "$dir/node$n.log" >&2; stop_all; exit 1; }
    pack[$n]=$(sed -E 's/.*protocol on [^,]*:([0-9]+),.*/\1/' <<<"$line")
    http[$n]=$(sed -E 's/.*HTTP on [^,]*:([0-9]+),.*/\1/' <<<"$line")
    admin[$n]=${http[$n]}
    if [[ $line == *"admin on "* ]]; then admin[$n]=$(sed -E 's/.*admin on [^,]*:([0-9]+),.*/\1/' <<<"$line"); fi
  done

  # nginx: the pictures, cached in front of both nodes; full images in slices, so a Range
  # request is answered from the cache and a resumed download needs no whole file first.
  local ng=$dir/nginx
  mkdir -p "$ng/cache" "$ng/temp"
  local user_line=""
  if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody:nogroup "$ng/cache" "$ng/temp"
    user_line="user nobody nogroup;"
  fi
  sed -e "s|@USER@|$user_line|; s|@DIR@|$dir|g; s|@PICTURES@|$pictures|; s|@HTTP1@|${http[1]}|; s|@HTTP2@|${http[2]}|" \
    "$here/nginx.conf.in" >"$dir/nginx.conf"
  nginx -q -t -c "$dir/nginx.conf" -p "$ng" 2>"$dir/nginx-error.log" ||
    { say "nginx refused its configuration"; cat "$dir/nginx-error.log" >&2; stop_all; exit 1; }
  nginx -c "$dir/nginx.conf" -p "$ng" ||
    { say "nginx did not start (is port $pictures free?)"; stop_all; exit 1; }

  # HAProxy: the pack port of both nodes, each checked by a hello it must answer. With several
  # processes, each has its own configuration, pid file and stats socket, and all bind the front
  # port (HAProxy sets SO_REUSEPORT on Linux).
  local hard maxconn=40000 k name sockets=""
  hard=$(ulimit -Hn)
  if [ "$hard" != unlimited ] && [ $(((hard - 200) / 2)) -lt $maxconn ]; then maxconn=$(((hard - 200) / 2)); fi
  for k in $(seq 1 "$haproxies"); do
    name=$(hap_name "$k")
    sed -e "s|@DIR@|$dir|g; s|@SOCKET@|$dir/$name.sock|; s|@MAXCONN@|$maxconn|; s|@FRONT@|$front|; s|@PACK1@|${pack[1]}|; s|@PACK2@|${pack[2]}|; s|@PROXY@|$proxy_server|" \
      "$here/haproxy.cfg.in" >"$dir/$name.cfg"
    haproxy -q -c -f "$dir/$name.cfg" ||
      { say "HAProxy refused its configuration"; stop_all; exit 1; }
    haproxy -q -D -f "$dir/$name.cfg" -p "$dir/$name.pid" ||
      { say "HAProxy did not start (is port $front free?)"; stop_all; exit 1; }
    sockets="$sockets${sockets:+ }$dir/$name.sock"
  done

  for _ in $(seq 1 100); do
    [ -s "$dir/nginx.pid" ] && [ -s "$dir/$(hap_name "$haproxies").pid" ] &&
      (exec 3<>"/dev/tcp/127.0.0.1/$front") 2>/dev/null &&
      (exec 3<>"/dev/tcp/127.0.0.1/$pictures") 2>/dev/null && break
    sleep 0.1
  done
  cat >"$dir/cluster.env" <<EOF
FRONT_PORT=$front
PICTURES_PORT=$pictures
NODE1_PACK=${pack[1]}
NODE1_HTTP=${http[1]}
NODE1_ADMIN=${admin[1]}
NODE1_PID=$(cat "$dir/node1.pid")
NODE2_PACK=${pack[2]}
NODE2_HTTP=${http[2]}
NODE2_ADMIN=${admin[2]}
NODE2_PID=$(cat "$dir/node2.pid")
ADMIN_TOKEN=$token
HAPROXY_SOCKET=$dir/haproxy.sock
HAPROXY_SOCKETS="$sockets"
HAPROXY_PIDS="$(for k in $(seq 1 "$haproxies"); do cat "$dir/$(hap_name "$k").pid"; done | tr '\n' ' ' | sed 's/ $//')"
HAPROXY_MAXCONN=$((maxconn * haproxies))
PG_SOCKET_DIR=$pg
CATALOGUE=$catalogue
EOF
  say "clients connect to 127.0.0.1:$front (HAProxy: $haproxies process(es) of up to $maxconn clients each), pictures come from http://127.0.0.1:$pictures (nginx)"
  say "nodes: 127.0.0.1:${pack[1]} and 127.0.0.1:${pack[2]}, HTTP ${http[1]} and ${http[2]}; PostgreSQL in $pg"
  say "addresses, pids and the admin token: $dir/cluster.env; stop with: $0 stop --dir $dir"
}

case "$action" in
  start) start_all ;;
  stop) stop_all ;;
  *) echo "usage: $0 start|stop [--front PORT] [--pictures PORT] [--dir DIR] [--catalogue DIR] [--haproxy-processes N]" >&2; exit 2 ;;
esac
