#!/bin/sh
# A throwaway PostgreSQL server for the tests of a record that several stations share.
#   pg_server.sh start STATE   initdb and start in a new temporary folder, listening on a Unix
#                              socket there and on no network address; STATE gets the
#                              connection string
#   pg_server.sh stop STATE    stop it and remove the folder
# initdb and the server refuse to run as root: as root they run as the postgres user that
# Debian's package creates.
set -eu
command=$1
state=$2

bin=$(pg_config --bindir 2>/dev/null || true)
[ -x "$bin/initdb" ] || bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
as_server() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

stop() {
  [ -f "$state.dir" ] || return 0
  dir=$(cat "$state.dir")
  as_server "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$dir" "$state" "$state.dir"
}

case $command in
start)
  if [ ! -x "$bin/initdb" ]; then
    echo "pg_server.sh: no PostgreSQL server here (Debian's postgresql package; make test installs it)" >&2
    exit 1
  fi
  stop  # one left by a run that was cut short
  dir=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-pg.XXXXXX")
  echo "$dir" >"$state.dir"
  [ "$(id -u)" = 0 ] && chown postgres "$dir"
  as_server "$bin/initdb" -A trust -U postgres -D "$dir/data" >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; exit 1; }
  # Durability is the server's own business; the tests need none of it.
  as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
    -o "-k $dir -c listen_addresses='' -c fsync=off -c max_connections=50" start >/dev/null ||
    { cat "$dir/server.log" >&2; exit 1; }
  echo "postgresql:///postgres?host=$dir&user=postgres" >"$state"
  ;;
stop) stop ;;
*) echo "usage: pg_server.sh start|stop STATE" >&2; exit 2 ;;
esac
