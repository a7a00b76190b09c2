#!/usr/bin/env bash
# Runs a command in a GNOME session of its own, as Debian 12's default desktop has it: GNOME
# Shell headless on a virtual monitor (Wayland, with its X server Xwayland), its own session and
# system buses. Usage: scripts/gnome-session.sh COMMAND [ARGS...]
set -euo pipefail
for tool in gnome-shell Xwayland dbus-daemon dbus-run-session gdbus; do
  command -v "$tool" >/dev/null || { echo "gnome-session: needs $tool (scripts/install-deps.sh --tests)" >&2; exit 2; }
done

if [ -z "${KORLITH_GNOME_BUS:-}" ]; then
  # A session bus of its own first; the script runs itself again inside it.
  export KORLITH_GNOME_BUS=1
  exec dbus-run-session -- bash "$0" "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/korlith-gnome-XXXXXX")
bus_pid="" shell_pid=""
cleanup() {
  [ -n "$shell_pid" ] && kill "$shell_pid" 2>/dev/null || true
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -m 0700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
# The shell asks the system bus for logins and accounts; a bus of its own answers that nobody
# provides them, where the machine's (if it has one) would give it the real seat.
dbus-daemon --session --address="unix:path=$work/system_bus" --nofork >"$work/bus.log" 2>&1 &
bus_pid=$!
for _ in $(seq 100); do [ -S "$work/system_bus" ] && break; sleep 0.1; done
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/system_bus"

socket="korlith-gnome-$$"
gnome-shell --headless --wayland --virtual-monitor 1280x800 --wayland-display="$socket" >"$work/shell.log" 2>&1 &
shell_pid=$!
shell_up() {
  gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.freedesktop.DBus.Properties.Get org.gnome.Shell OverviewActive >/dev/null 2>&1
}
for _ in $(seq 150); do
  shell_up && break
  kill -0 "$shell_pid" 2>/dev/null || { cat "$work/shell.log" >&2; exit 2; }
  sleep 0.2
done
shell_up || { echo "gnome-session: GNOME Shell did not start" >&2; cat "$work/shell.log" >&2; exit 2; }

# Its X server, as the session's programs are told it.
xwayland=""
for _ in $(seq 100); do
  xwayland=$(pgrep -a -P "$shell_pid" Xwayland || true)
  [ -n "$xwayland" ] && break
  sleep 0.1
done
[ -n "$xwayland" ] || { echo "gnome-session: no Xwayland" >&2; cat "$work/shell.log" >&2; exit 2; }
display=$(sed -E 's/.* (:[0-9]+) .*/\1/' <<<"$xwayland")
auth=$(sed -E 's/.* -auth ([^ ]+) .*/\1/' <<<"$xwayland")
for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

# A start shows the overview, as a login does; the session's work is on the desktop.
for _ in $(seq 50); do
  gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.freedesktop.DBus.Properties.Set org.gnome.Shell OverviewActive '<false>' >/dev/null 2>&1 || true
  gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.freedesktop.DBus.Properties.Get org.gnome.Shell OverviewActive 2>/dev/null | grep -q false && break
  sleep 0.2
done

export WAYLAND_DISPLAY="$socket" DISPLAY="$display" XAUTHORITY="$auth" XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland
unset QT_QPA_PLATFORM
set +e
"$@"
code=$?
set -e
[ "$code" -eq 0 ] || { echo "--- GNOME Shell's log" >&2; tail -40 "$work/shell.log" >&2; }
exit "$code"
