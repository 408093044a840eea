#!/usr/bin/env bash
# Sets up the machine (once), builds the program and starts it: on the user's display
# when there is one, otherwise on a virtual display, leaving a screenshot in build/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/setup.sh"
bash "$top/scripts/build.sh" --target QuelvarRefresher
exe="$top/build/out/QuelvarRefresher.exe"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$top/scripts/wine-run" "$exe"
fi
source "$top/scripts/xvfb.sh"
"$top/scripts/wine-run" "$exe" &
app=$!
for _ in $(seq 100); do
  xdotool search --onlyvisible --class QuelvarRefresher.exe >/dev/null 2>&1 && break
  sleep 0.2
done
sleep 1
import -window root "$top/build/screenshot.png"
echo "no display: the program ran on a virtual one; screenshot in build/screenshot.png"
kill $app 2>/dev/null || true
WINEPREFIX="$top/build/deps/wineprefix" wineserver -k 2>/dev/null || true
