#!/usr/bin/env bash
# Prints the program's figures: exe size, start-up time beside a minimal one-window
# program built by the same toolchain, and writing the reflash script beside a plain
# copy. Timings come from the build that runs here (see scripts/build.sh tests).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/setup.sh" >/dev/null
out=$(bash "$top/scripts/build.sh" --target QuelvarRefresher)
tree=$(bash "$top/scripts/build.sh" tests --target QuelvarRefresher bench bench_minimal)
source "$top/scripts/xvfb.sh"
size() { stat -c %s "$1"; }
printf 'exe size: %s bytes (32-bit program, libpng and zlib linked); minimal window: ' "$(size "$out/QuelvarRefresher.exe")"
i686-w64-mingw32-g++ -Os -static -mwindows "$top/tests/bench/minimal_window.cpp" -o "$out/bench_minimal.exe"
printf '%s bytes\n' "$(size "$out/bench_minimal.exe")"
echo "timings of the $(cat "$top/build/deps/test-arch") build under Wine:"
"$top/scripts/wine-run" "$tree/tests/bench/bench.exe" startup "$tree/QuelvarRefresher.exe" "$tree/tests/bench/bench_minimal.exe"
"$top/scripts/wine-run" "$tree/tests/bench/bench.exe" generate
