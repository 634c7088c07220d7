#!/usr/bin/env bash
# Builds the listing benchmark (its own 32-bit release tree) and runs it under Wine.
#   run.sh [FILES]   files in each folder (default 10000)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build/bench-files-win32
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKEL_ONLY="host;standins/kelhost;standins/rapi;standins/bass;devicebrowser;bench/files" >/dev/null
cmake --build "$build" --target files_listing_bench >/dev/null
KEL_OEMCP=437 exec "$root/cmake/winerun" "$build/bench/files/files_listing_bench.exe" "${1:-10000}"
