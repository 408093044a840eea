#!/usr/bin/env bash
# Sets up the machine (once), builds everything and runs every test under Wine on a
# virtual display (see scripts/xvfb.sh). Extra arguments go to ctest (for example -R script).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/setup.sh"
bash "$top/scripts/build.sh" >/dev/null
# The flashing tools the tests start, built (once) for the architecture the tests run.
bash "$top/scripts/build-outside-tools.sh" "$(cat "$top/build/deps/test-arch")" >/dev/null
tree=$(bash "$top/scripts/build.sh" tests)
source "$top/scripts/xvfb.sh"
export WINEPREFIX="$top/build/deps/wineprefix"
"$top/scripts/wine-run" wineboot >/dev/null 2>&1 || true # starts the wineserver once for all tests
trap 'WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true; [ -n "${xvfb_pid:-}" ] && kill $xvfb_pid 2>/dev/null; true' EXIT
ctest --test-dir "$tree" --output-on-failure "$@"
