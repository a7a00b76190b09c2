#!/usr/bin/env bash
# Runs a command where it may listen on port 80 of the loopback addresses, as the download and
# update suites' server does. Root may do so anyway; any other user gets a network of their own
# (loopback alone, in a user namespace where that user is root). Where the kernel gives no user
# namespace, the command runs as it is and its suite skips what needs the port.
# Usage: scripts/loopback-session.sh COMMAND [ARGS...]
set -euo pipefail
[ "$(id -u)" -eq 0 ] && exec "$@"
if ! command -v unshare >/dev/null || ! command -v ip >/dev/null \
  || ! unshare --user --map-root-user --net true 2>/dev/null; then
  echo "loopback-session: no network of our own here (unshare, ip, user namespaces); port 80 stays root's" >&2
  exec "$@"
fi
exec unshare --user --map-root-user --net -- bash -c 'ip link set lo up && exec "$@"' loopback-session "$@"
