#!/usr/bin/env bash
# Builds the program (32-bit) into build/out. With "tests", builds the tree the tests
# run from instead and prints its folder: build/out itself where Wine runs 32-bit
# programs, otherwise a 64-bit build of the same sources in build/out64.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
tree=out toolchain=mingw32
if [ "${1:-}" = tests ]; then
  shift
  if [ "$(cat "$top/build/deps/test-arch" 2>/dev/null)" = x86_64 ]; then tree=out64 toolchain=mingw64; fi
fi
cmake -S "$top" -B "$top/build/$tree" -DCMAKE_TOOLCHAIN_FILE="$top/scripts/$toolchain.cmake" >/dev/null
cmake --build "$top/build/$tree" -j"$(nproc)" "$@" >&2
echo "$top/build/$tree"
