#!/usr/bin/env bash
# Builds the program (32-bit) into build/out and prints the folder. With "tests", builds
# the tree the tests run from instead: build/out itself where Wine runs 32-bit programs,
# otherwise a 64-bit build of the same sources in build/out64. With "win64", builds
# build/out64 in any case (the release takes devcon64 from it).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
tree=out toolchain=mingw32
case "${1:-}" in
  tests)
    shift
    if [ "$(cat "$top/build/deps/test-arch" 2>/dev/null)" = x86_64 ]; then tree=out64 toolchain=mingw64; fi ;;
  win64) shift; tree=out64 toolchain=mingw64 ;;
esac
cmake -S "$top" -B "$top/build/$tree" -DCMAKE_TOOLCHAIN_FILE="$top/scripts/$toolchain.cmake" >/dev/null
cmake --build "$top/build/$tree" -j"$(nproc)" "$@" >&2
echo "$top/build/$tree"
