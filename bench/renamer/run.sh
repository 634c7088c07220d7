#!/usr/bin/env bash
# Builds the renamer's benchmark optimised and without sanitizers (its own build tree), then runs it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build/bench
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEL_SANITIZE=OFF >/dev/null
cmake --build "$build" --target quillet_bench >/dev/null
exec "$build/bench/renamer/quillet_bench" "$@"
