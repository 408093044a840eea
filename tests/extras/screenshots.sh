#!/usr/bin/env bash
# Takes the screenshots in docs/: the guide window (docs/guide-window.png) and the end of
# the joke window's finale (docs/joke-finale.png). Runs the tests' build of the program
# on a virtual display of its own, with extras_shooter pressing the buttons and answering
# the boxes. Arguments: the scenes to take (default: joke guide).
# WINEPREFIX: the prefix to use (default: the project's); it must not be running on
# another display. SHOT_SCREEN: the screen size (default 1024x768; the guide window is
# 1069 pixels high, so docs/guide-window.png was taken with SHOT_SCREEN=1024x1100).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
tree=$(bash "$top/scripts/build.sh" tests --target QuelvarRefresher extras_shooter)
export WINEPREFIX="${WINEPREFIX:-$top/build/deps/wineprefix}"
screen="${SHOT_SCREEN:-1024x768}"
for n in $(seq 150 199); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=$n; break; }
done
Xvfb ":$display" -screen 0 "${screen}x24" -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
trap 'wineserver -k 2>/dev/null || true; kill $xvfb_pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

ready="$tree/tests/extras/shot-ready"
windows_path() { local p="Z:$1"; echo "${p//\//\\}"; }
declare -A file=([guide]=guide-window.png [joke]=joke-finale.png)
for scene in "${@:-joke guide}"; do
  for s in $scene; do
    rm -f "$ready"
    "$top/scripts/wine-run" "$tree/tests/extras/extras_shooter.exe" "$s" \
      "$(windows_path "$tree/QuelvarRefresher.exe")" "$(windows_path "$ready")" &
    shooter=$!
    for _ in $(seq 900); do [ -e "$ready" ] && break; sleep 0.1; done
    [ -e "$ready" ] || { echo "no $s scene" >&2; exit 1; }
    import -window root "$top/docs/${file[$s]}"
    rm -f "$ready"
    wait $shooter
    echo "docs/${file[$s]}"
  done
done
