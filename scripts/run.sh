#!/usr/bin/env bash
# Installs what is missing, builds a Release build and starts the launcher
# from the build tree, which is laid out like an installation. Once it runs,
# says how to open it and where its log and your configuration are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF -DQV_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
install=$root/$build

# An XDG base folder: the variable when it holds an absolute path, else the
# default under the home folder.
xdg_folder() {
  case "${!1:-}" in
    /*) printf '%s\n' "${!1}" ;;
    *) printf '%s\n' "$HOME/$2" ;;
  esac
}

# The folder portable mode keeps everything in, or nothing: portable.ini's
# portable_dir (%NAME% for environment variables, relative to the install
# folder), else a folder named portable.
portable_folder() {
  local ini=$install/portable.ini
  if [ -f "$ini" ]; then
    local dir name
    dir=$(sed -n 's/^[[:space:]]*portable_dir[[:space:]]*=[[:space:]]*//p' "$ini" | head -n 1)
    while [[ $dir =~ %([A-Za-z_][A-Za-z0-9_]*)% ]]; do
      name=${BASH_REMATCH[1]}
      dir=${dir//%$name%/${!name:-}}
    done
    case "$dir" in /*) ;; *) dir=$install/$dir ;; esac
    printf '%s\n' "$dir"
  elif [ -d "$install/portable" ]; then
    printf '%s\n' "$install/portable"
  fi
}

portable=$(portable_folder)
if [ -n "$portable" ]; then
  profile=$portable/Profile
  local_dir=$portable/Local
else
  profile=$(xdg_folder XDG_CONFIG_HOME .config)/Quorvalent
  local_dir=$(xdg_folder XDG_STATE_HOME .local/state)/Quorvalent
fi
log=$local_dir/Quorvalent.$(uname -n | tr '[:upper:]' '[:lower:]').log

# Arguments (--show, --exit, ...) go to the program as they are; only a start
# that stays running gets the hints.
started=$(date '+%Y-%m-%d %H:%M:%S')
"$install/quorvalent" "$@" &
pid=$!
trap 'kill -TERM "$pid" 2>/dev/null' INT TERM HUP

# Running means that this start has written "Init done" to the log (a minute
# at most: with write_log_file = no there is none).
for _ in $(seq 300); do
  kill -0 "$pid" 2>/dev/null || break
  if [ -f "$log" ] && awk -v t="$started" '$0 >= t && / \[i\] Init done/ {f = 1} END {exit !f}' "$log"; then
    break
  fi
  sleep 0.2
done
if kill -0 "$pid" 2>/dev/null; then
  echo "Quorvalent runs. Open the LaunchBox with the Run hot key (Ctrl+Win+K unless hotkey_run says otherwise), a click on the tray icon, or: $install/quorvalent --show"
  echo "Log: $log"
  echo "Your configuration: $profile/User/Quorvalent.ini (docs/using.md tells the first steps; $install/quorvalent --exit ends the program)"
fi

status=0
while true; do
  wait "$pid" && status=0 || status=$?
  kill -0 "$pid" 2>/dev/null || break
done
exit "$status"
