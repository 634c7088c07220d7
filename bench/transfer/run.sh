#!/usr/bin/env bash
# Builds the transfer benchmark (its own 32-bit release tree) and runs it under Wine.
#   run.sh [MEGABYTES]   total size of the files (default 200)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build/bench-transfer-win32
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKEL_ONLY="host;standins/kelhost;standins/rapi;standins/bass;devicebrowser;bench/transfer" >/dev/null
cmake --build "$build" --target transfer_bench >/dev/null
exec "$root/cmake/winerun" "$build/bench/transfer/transfer_bench.exe" "${1:-200}"
