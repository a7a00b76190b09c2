#!/usr/bin/env bash
# Runs a command in a desktop session of its own: a virtual X server with the openbox window
# manager, as users' desktops have one. Usage: scripts/desktop-session.sh COMMAND [ARGS...]
set -euo pipefail
command -v Xvfb >/dev/null && command -v openbox >/dev/null && command -v xprop >/dev/null \
  || { echo "desktop-session: needs Xvfb, openbox and xprop (scripts/install-deps.sh)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/korlith-session-XXXXXX")
xvfb_pid="" wm_pid=""
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display and says which. It never resets: a reset whenever its last
# client leaves would refuse the clients that connect meanwhile.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 3>"$work/display" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; exit 2; }
  sleep 0.1
done
[ -s "$work/display" ] || { echo "desktop-session: Xvfb did not start" >&2; exit 2; }
export DISPLAY=":$(tr -d '[:space:]' < "$work/display")"
# A login gives each session a private runtime folder; programs expect one.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  mkdir -m 0700 "$work/runtime"
  export XDG_RUNTIME_DIR="$work/runtime"
fi

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
# The window manager is up once it has announced itself on the root window.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  kill -0 "$wm_pid" 2>/dev/null || { cat "$work/openbox.log" >&2; exit 2; }
  sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' \
  || { echo "desktop-session: openbox did not start" >&2; exit 2; }

set +e
"$@"
rc=$?
set -e
exit $rc
