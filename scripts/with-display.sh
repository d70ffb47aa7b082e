#!/usr/bin/env bash
# Runs a command on a private X display, as the window tests need one:
# Xvfb on a free display number, openbox as the window manager and trayer as
# the XEmbed tray host. The command runs with DISPLAY set, QT_QPA_PLATFORM=xcb
# and QV_XVFB_SCREEN naming the screen (WIDTHxHEIGHTxDEPTH), and with
# scripts/asan.supp added to ASAN_OPTIONS for the X libraries Qt loads;
# everything is torn down afterwards, and the command's exit status is this
# script's.
# QV_XVFB_SCREENS=N (1 to 9, default 1) puts N monitors of that size side
# by side, left to right, on one wider screen (RandR monitors, which Qt and
# the window manager take as the monitors of the desktop).
#   scripts/with-display.sh COMMAND [ARGS...]
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }

root=$(cd "$(dirname "$0")/.." && pwd)
screen=${QV_XVFB_SCREEN:-1366x768x24}
monitors=${QV_XVFB_SCREENS:-1}
[[ $monitors =~ ^[1-9]$ && $screen =~ ^([0-9]+)x([0-9]+)x([0-9]+)$ ]] ||
  { echo "QV_XVFB_SCREENS must be 1 to 9 and QV_XVFB_SCREEN WIDTHxHEIGHTxDEPTH" >&2; exit 2; }
width=${BASH_REMATCH[1]} height=${BASH_REMATCH[2]} depth=${BASH_REMATCH[3]}
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
Xvfb -displayfd 3 -screen 0 "$((width * monitors))x${height}x$depth" -nolisten tcp 3>"$work/displayfd" \
  >"$work/xvfb.log" 2>&1 &
pids+=($!)
if ! read -r -t 30 number <"$work/displayfd"; then
  echo "Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$number"
export QT_QPA_PLATFORM=xcb
export QV_XVFB_SCREEN=$screen QV_XVFB_SCREENS=$monitors
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

if ((monitors > 1)); then
  # The first monitor takes over the screen's output; 96 DPI each.
  for ((i = 0; i < monitors; i++)); do
    output=none
    ((i > 0)) || output=$(xrandr --listmonitors | awk 'NR == 2 {print $NF}')
    xrandr --setmonitor "qv$i" "$width/$((width * 254 / 960))x$height/$((height * 254 / 960))+$((i * width))+0" \
      "$output" >/dev/null
  done
fi

status=0
"$@" || status=$?
exit "$status"
