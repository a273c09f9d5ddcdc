#!/usr/bin/env bash
# A private PostgreSQL server for the history tests: Debian's postgresql
# (initdb, pg_ctl), reachable only through a Unix socket in its own folder
# (no TCP), run as the postgres user when started by root.
#
#   pg_server.sh start DIR    create the cluster on first use, start the server
#   pg_server.sh stop DIR     stop the server, keep its data (start resumes it)
#   pg_server.sh remove DIR   stop the server and delete the cluster
#
# DIR (any writable folder, e.g. in the build tree) keeps the state: "cluster"
# (the cluster's private temporary folder), "socket" (the socket folder),
# "port", "url" (a libpq URI for the superuser). When no server can be
# started, "start" writes the reason to DIR/unavailable and exits 77, the
# status CTest counts as skipped; the tests read the reason and skip too.
set -euo pipefail

usage() {
  echo "usage: $0 start|stop|remove DIR" >&2
  exit 64
}
[ $# -eq 2 ] || usage
command=$1
state=$2
mkdir -p "$state"
state=$(cd "$state" && pwd)
port=5432
superuser=postgres

unavailable() {
  echo "$*" > "$state/unavailable"
  echo "PostgreSQL server not started: $*" >&2
  exit 77
}

find_bindir() {
  if [ -n "${VR512B_PG_BINDIR:-}" ]; then
    echo "$VR512B_PG_BINDIR"
    return
  fi
  local found=""
  for dir in /usr/lib/postgresql/*/bin; do
    [ -x "$dir/initdb" ] && [ -x "$dir/pg_ctl" ] && found=$dir
  done
  echo "$found"
}

# Runs a server program as the cluster's owner: root may not run postgres.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

start() {
  rm -f "$state/unavailable"
  local bindir
  bindir=$(find_bindir)
  [ -n "$bindir" ] || unavailable "no initdb/pg_ctl under /usr/lib/postgresql/*/bin (Debian package postgresql)"
  if [ "$(id -u)" -eq 0 ] && ! id postgres > /dev/null 2>&1; then
    unavailable "running as root and there is no postgres user to run the server as"
  fi
  local cluster=""
  [ -f "$state/cluster" ] && cluster=$(cat "$state/cluster")
  if [ -z "$cluster" ] || [ ! -f "$cluster/data/PG_VERSION" ]; then
    cluster=$(mktemp -d)
    echo "$cluster" > "$state/cluster"
    mkdir -p "$cluster/socket"
    [ "$(id -u)" -eq 0 ] && chown -R postgres: "$cluster"
    if ! as_owner "$bindir/initdb" -D "$cluster/data" -U "$superuser" -A trust -E UTF8 \
      --locale=C.UTF-8 --no-sync > "$cluster/initdb.log" 2>&1; then
      unavailable "initdb failed: $(tail -n 3 "$cluster/initdb.log" | tr '\n' ' ')"
    fi
    # The superuser gets in without a password; every other role needs one,
    # as on a plant's server.
    cat > "$cluster/data/pg_hba.conf" <<HBA
local all $superuser trust
local all all scram-sha-256
HBA
    cat >> "$cluster/data/postgresql.conf" <<CONF
listen_addresses = ''
unix_socket_directories = '$cluster/socket'
port = $port
max_connections = 100
CONF
  fi
  if as_owner "$bindir/pg_ctl" -D "$cluster/data" status > /dev/null 2>&1; then
    : # already running
  elif ! as_owner "$bindir/pg_ctl" -D "$cluster/data" -l "$cluster/server.log" -w -t 60 \
    start > /dev/null 2>&1; then
    unavailable "pg_ctl start failed: $(tail -n 3 "$cluster/server.log" 2> /dev/null | tr '\n' ' ')"
  fi
  echo "$cluster/socket" > "$state/socket"
  echo "$port" > "$state/port"
  echo "postgresql://$superuser@/postgres?host=$cluster/socket&port=$port" > "$state/url"
}

stop() {
  [ -f "$state/cluster" ] || return 0
  local cluster bindir
  cluster=$(cat "$state/cluster")
  bindir=$(find_bindir)
  if [ -n "$bindir" ] && [ -f "$cluster/data/postmaster.pid" ]; then
    as_owner "$bindir/pg_ctl" -D "$cluster/data" -m fast -w -t 60 stop > /dev/null 2>&1 || true
  fi
}

case $command in
  start) start ;;
  stop) stop ;;
  remove)
    stop
    if [ -f "$state/cluster" ]; then
      rm -rf "$(cat "$state/cluster")"
    fi
    rm -f "$state/cluster" "$state/socket" "$state/port" "$state/url" "$state/unavailable"
    ;;
  *) usage ;;
esac
