#!/usr/bin/env bash
# Runs a command beside a private PostgreSQL server for the pool tests: its own data folder and
# Unix socket in a fresh temporary folder (no TCP), run as the postgres user when started as root,
# stopped and removed when the command ends, whatever way it ends. The command sees
# TELVANOR_TEST_PG_URL, and TELVANOR_REQUIRE_PG=1 so that the pool tests fail instead of skipping.
set -euo pipefail
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1 || true)
if [ -z "$bin" ]; then
    echo "with-postgres: PostgreSQL is not installed (scripts/setup.sh installs it)" >&2
    exit 1
fi
dir=$(mktemp -d -t telvanor-pg.XXXXXX)
as=()
if [ "$(id -u)" -eq 0 ]; then
    chown postgres "$dir"
    as=(runuser -u postgres --)
fi
stop() {
    if [ -f "$dir/data/postmaster.pid" ]; then
        "${as[@]}" "$bin/pg_ctl" -D "$dir/data" -m fast stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
}
trap stop EXIT
trap 'exit 130' INT TERM
"${as[@]}" "$bin/initdb" -D "$dir/data" -A trust -U postgres >"$dir/initdb.log" 2>&1 || {
    cat "$dir/initdb.log" >&2
    exit 1
}
# The socket's port number only names the socket file inside the private folder.
"${as[@]}" "$bin/pg_ctl" -D "$dir/data" -o "-k $dir -p 54329 -h ''" -l "$dir/server.log" -w start >/dev/null || {
    cat "$dir/server.log" >&2
    exit 1
}
export TELVANOR_TEST_PG_URL="postgresql:///postgres?host=$dir&port=54329&user=postgres"
export TELVANOR_REQUIRE_PG=1
"$@"
