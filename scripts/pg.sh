#!/usr/bin/env bash
# Throw-away PostgreSQL cluster on loopback for the tests.
#   pg.sh start DIR PORT   creates and starts it, prints the environment for the tests
#   pg.sh stop DIR         stops it
# Two roles: "pelldrake" (no password, owns the database "pelldrake") and
# "pelldrake_pw" (password "secret"), for the login dialog tests.
# The cluster is UTF-8 with a real collation, as servers in use are: en_US.UTF-8 where the
# machine has it, else C.UTF-8 (PELLDRAKE_TEST_PG_LOCALE chooses another).
set -euo pipefail
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
cmd=$1 dir=$2
as_pg() { if [[ $(id -u) -eq 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi; }

case "$cmd" in
start)
  port=$3
  mkdir -p "$dir"
  [[ $(id -u) -eq 0 ]] && chown postgres "$dir"
  locale=${PELLDRAKE_TEST_PG_LOCALE:-}
  if [[ -z "$locale" ]]; then
    installed=$(locale -a 2>/dev/null | tr '[:upper:]' '[:lower:]')
    if grep -qx 'en_us.utf8' <<<"$installed"; then locale=en_US.UTF-8
    else locale=C.UTF-8; fi
  fi
  as_pg "$bin/initdb" -D "$dir/data" -A trust -U postgres -E UTF8 --locale="$locale" >"$dir/initdb.log"
  # md5 for the password user on TCP, trust for everyone else.
  cat > "$dir/data/pg_hba.conf" <<HBA
local all all trust
host all pelldrake_pw 127.0.0.1/32 scram-sha-256
host all all 127.0.0.1/32 trust
HBA
  as_pg "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
    -o "-c listen_addresses=127.0.0.1 -p $port -k $dir -c fsync=off" start >/dev/null
  as_pg "$bin/psql" -h "$dir" -p "$port" -U postgres -q -v ON_ERROR_STOP=1 -d postgres <<SQL
CREATE ROLE pelldrake LOGIN CREATEDB;
CREATE ROLE pelldrake_pw LOGIN PASSWORD 'secret';
CREATE DATABASE pelldrake OWNER pelldrake;
GRANT ALL ON DATABASE pelldrake TO pelldrake_pw;
SQL
  as_pg "$bin/psql" -h "$dir" -p "$port" -U postgres -q -d pelldrake -c "GRANT ALL ON SCHEMA public TO pelldrake_pw;"
  echo "export PELLDRAKE_TEST_PG_HOST=127.0.0.1 PELLDRAKE_TEST_PG_PORT=$port PELLDRAKE_TEST_PG_DB=pelldrake PELLDRAKE_TEST_PG_USER=pelldrake PELLDRAKE_TEST_PG_PW_USER=pelldrake_pw PELLDRAKE_TEST_PG_PASSWORD=secret"
  ;;
stop)
  as_pg "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true
  ;;
*) echo "usage: pg.sh start DIR PORT | stop DIR" >&2; exit 2 ;;
esac
