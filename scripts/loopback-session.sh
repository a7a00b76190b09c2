#!/usr/bin/env bash
# Runs a command where it may listen on port 80 of the loopback addresses, as the download and
# update suites' server does. Root may do so anyway; any other user gets a network of its own
# (loopback alone, in a user namespace where that user is root). Usage: scripts/loopback-session.sh COMMAND [ARGS...]
set -euo pipefail
[ "$(id -u)" -eq 0 ] && exec "$@"
command -v unshare >/dev/null && command -v ip >/dev/null \
  || { echo "loopback-session: needs unshare and ip (scripts/install-deps.sh)" >&2; exit 2; }
exec unshare --user --map-root-user --net -- bash -c 'ip link set lo up && exec "$@"' loopback-session "$@"
