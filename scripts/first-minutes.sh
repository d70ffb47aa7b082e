#!/usr/bin/env bash
# A new user's first minutes as docs/using.md tells them, on a display: the
# program starts with an empty home, the two example packages are installed
# by the commands the page gives, the Run hot key opens the LaunchBox, which
# finds an application with its icon and the calculator's answer, and Enter
# copies the answer. Screenshots: build/first-minutes-application.png and
# build/first-minutes-calculator.png. Needs imagemagick's import.
#   scripts/with-display.sh scripts/first-minutes.sh [BUILD_DIR] [APPLICATION]
# BUILD_DIR defaults to build/asan, APPLICATION (what to type) to vim.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/asan}" && pwd)
application=${2:-vim}
[ -n "${DISPLAY:-}" ] || { echo "usage: scripts/with-display.sh $0 [BUILD_DIR]" >&2; exit 2; }
command -v import >/dev/null || { echo "first-minutes: needs import (apt-get install imagemagick)" >&2; exit 2; }

work=$(mktemp -d)
pid=
cleanup() {
  [ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
export XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# The sanitizer's leak scan at exit takes long; the unit tests look for leaks.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
log=$XDG_STATE_HOME/Quorvalent/Quorvalent.$(uname -n | tr '[:upper:]' '[:lower:]').log

fail() {
  echo "first-minutes: $*; the log:" >&2
  cat "$log" >&2 2>/dev/null || true
  exit 1
}

# Polls a condition for at most that many seconds.
wait_for() {
  local seconds=$1 what=$2
  shift 2
  for ((i = 0; i < seconds * 10; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  fail "$what did not happen within $seconds s"
}

logged() { grep -q "$1" "$log" 2>/dev/null; }
launchbox() { xdotool search --onlyvisible --name '^Quorvalent$' 2>/dev/null | head -n 1; }
height() { xdotool getwindowgeometry --shell "$1" | sed -n 's/^HEIGHT=//p'; }
focused() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
taller() { [ "$(height "$1")" -gt "$2" ]; }
# The window looks the same twice in a row (its icons have been drawn).
settled() {
  local a b
  a=$(import -window "$1" png:- | md5sum)
  sleep 0.3
  b=$(import -window "$1" png:- | md5sum)
  [ "$a" = "$b" ]
}

# Step 1: start it.
"$build/quorvalent" >"$work/output.txt" 2>&1 &
pid=$!
wait_for 120 "the start" logged "Init done"

# Step 3: the Run hot key opens the LaunchBox with the keyboard focus.
open_launchbox() {
  xdotool key ctrl+Super_L+k
  wait_for 30 "the LaunchBox" [ -n "$(launchbox)" ]
  box=$(launchbox)
  wait_for 30 "the focus" focused "$box"
}
console() { xdotool search --onlyvisible --name '^Console - Quorvalent$' 2>/dev/null | head -n 1; }
wait_for 60 "loading the program's own commands" logged "Plugin loaded: Internal.About"
open_launchbox
empty=$(height "$box")

# Step 6: F2 in the LaunchBox opens the console, which Esc hides.
xdotool key F2
wait_for 30 "the console" [ -n "$(console)" ]
wait_for 30 "the console's focus" focused "$(console)"
xdotool key Escape
wait_for 30 "the console to hide" [ -z "$(console)" ]
# The LaunchBox stayed open behind the console (the hot key would close it).
"$build/quorvalent" --show
wait_for 30 "the LaunchBox's focus" focused "$box"

# Step 5: the commands of docs/using.md, from the top of the checkout.
install=$(awk '/Install the two example packages/ {f = 1} f && /^ +(mkdir|cp) / {sub(/^ +/, ""); print} f && /^6\. / {exit}' "$root/docs/using.md")
[ -n "$install" ] || fail "docs/using.md gives no install commands"
echo "$install"
(cd "$root" && bash -euc "$install")
wait_for 60 "loading DesktopApps" logged "Plugin loaded: DesktopApps"
wait_for 60 "loading Calculator" logged "Plugin loaded: Calculator"

# Esc closes the empty LaunchBox; the hot key opens it again.
xdotool key Escape
wait_for 30 "the LaunchBox to hide" [ -z "$(launchbox)" ]
open_launchbox

# Types the text until results show (the catalog may still be filling) and
# takes the screenshot once the box has settled.
search() {
  local text=$1 shot=$2
  for _ in $(seq 20); do
    xdotool key ctrl+a BackSpace
    xdotool type --delay 30 "$text"
    for _ in $(seq 30); do
      if taller "$box" "$empty"; then
        wait_for 10 "a still LaunchBox" settled "$box"
        import -window root "$shot"
        echo "$shot"
        return 0
      fi
      sleep 0.1
    done
  done
  fail "no result for \"$text\""
}

# Step 5 again: an application with its icon, then the calculator.
search "$application" "$root/build/first-minutes-application.png"
search '2*(3+4)' "$root/build/first-minutes-calculator.png"
xdotool key Return
wait_for 10 "the answer in the clipboard" [ "$(xclip -o -selection clipboard 2>/dev/null)" = 14 ]

"$build/quorvalent" --exit
wait "$pid" || fail "the program ended with $?"
pid=
echo "first-minutes: done"
