#!/usr/bin/env bash
# Runs a command as a client of a Wayland compositor of its own (Weston, headless), as on a
# Wayland desktop. Usage: scripts/wayland-session.sh COMMAND [ARGS...]
set -euo pipefail
command -v weston >/dev/null || { echo "wayland-session: needs weston (scripts/install-deps.sh)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/korlith-wayland-XXXXXX")
weston_pid=""
cleanup() {
  [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A login gives each session a private runtime folder, where the compositor's socket lies.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  mkdir -m 0700 "$work/runtime"
  export XDG_RUNTIME_DIR="$work/runtime"
fi
socket="korlith-$$"
weston --backend=headless-backend.so --socket="$socket" --idle-time=0 --width=1024 --height=768 \
  >"$work/weston.log" 2>&1 &
weston_pid=$!
# The compositor is up once its socket exists (and its shell has started a moment later).
for _ in $(seq 100); do
  [ -S "$XDG_RUNTIME_DIR/$socket" ] && break
  kill -0 "$weston_pid" 2>/dev/null || { cat "$work/weston.log" >&2; exit 2; }
  sleep 0.1
done
[ -S "$XDG_RUNTIME_DIR/$socket" ] || { echo "wayland-session: weston did not start" >&2; cat "$work/weston.log" >&2; exit 2; }

export WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland
unset DISPLAY
set +e
"$@"
code=$?
set -e
[ "$code" -eq 0 ] || { echo "--- weston's log" >&2; cat "$work/weston.log" >&2; }
exit "$code"
