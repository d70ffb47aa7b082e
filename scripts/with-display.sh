#!/usr/bin/env bash
# Runs a command on a private X display, as the window tests need one:
# Xvfb on a free display number, openbox as the window manager and trayer as
# the XEmbed tray host. The command runs with DISPLAY set, QT_QPA_PLATFORM=xcb
# and QV_XVFB_SCREEN naming the screen (WIDTHxHEIGHTxDEPTH), and with
# scripts/asan.supp added to ASAN_OPTIONS for the X libraries Qt loads;
# everything is torn down afterwards, and the command's exit status is this
# script's.
#   scripts/with-display.sh COMMAND [ARGS...]
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }

root=$(cd "$(dirname "$0")/.." && pwd)
screen=${QV_XVFB_SCREEN:-1366x768x24}
work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number itself and writes it to the pipe once it
# accepts connections.
mkfifo "$work/displayfd"
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$work/displayfd" \
  >"$work/xvfb.log" 2>&1 &
pids+=($!)
if ! read -r -t 30 number <"$work/displayfd"; then
  echo "Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$number"
export QT_QPA_PLATFORM=xcb
export QV_XVFB_SCREEN=$screen
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}suppressions=$root/scripts/asan.supp"
unset WAYLAND_DISPLAY

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
# A window manager announces itself on the root window.
for _ in $(seq 300); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.05
done

trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
  >"$work/trayer.log" 2>&1 &
pids+=($!)
xdotool search --sync --limit 1 --classname trayer >/dev/null

status=0
"$@" || status=$?
exit "$status"
