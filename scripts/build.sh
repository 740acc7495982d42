#!/usr/bin/env bash
# Configures and builds the four trees below build/ (or $TWG_BUILD):
#   native  - logic, unit tests, fuzzers, tools, and the ctest driver
#   win32   - the shipping 32-bit TWGMsI.dll
#   win64   - the 64-bit TWGMsI.dll the Wine tests load
#   wintest - the Wine test runner and the stand-ins
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${TWG_BUILD:-$src/build}
jobs=${TWG_JOBS:-$(nproc)}
configure() {  # dir, extra args...
  local dir=$1; shift
  [ -f "$build/$dir/build.ninja" ] || cmake -S "$src" -B "$build/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}
configure win32 -DTWG_ROLE=dll -DCMAKE_TOOLCHAIN_FILE="$src/cmake/i686-w64-mingw32.cmake"
configure win64 -DTWG_ROLE=dll -DCMAKE_TOOLCHAIN_FILE="$src/cmake/x86_64-w64-mingw32.cmake"
configure wintest -DTWG_ROLE=wintest -DCMAKE_TOOLCHAIN_FILE="$src/cmake/x86_64-w64-mingw32-posix.cmake"
CC=clang CXX=clang++ configure native -DTWG_ROLE=native -DCMAKE_BUILD_TYPE=Debug \
  -DTWG_WIN32_DIR="$build/win32" -DTWG_WIN64_DIR="$build/win64" -DTWG_WINTEST_DIR="$build/wintest"
for dir in ${TWG_TREES:-win32 win64 wintest native}; do  # TWG_TREES: build only these
  echo "build: $dir"
  cmake --build "$build/$dir" -j "$jobs"
done
