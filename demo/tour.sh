#!/usr/bin/env bash
# The demo tour: every finished deliverable doing its job in the stand-ins, printed as a user
# would see it. Each deliverable adds one numbered script beside this one (demo/NN-name.sh);
# they run in order with ROOT (the repository) and DIST (the installed layout) set.
set -euo pipefail
export ROOT=$(cd "$(dirname "$0")/.." && pwd)
export DIST=$ROOT/dist
export WINERUN=$ROOT/cmake/winerun
export DEMO_OUT=$ROOT/build/demo
mkdir -p "$DEMO_OUT"
for part in "$ROOT"/demo/[0-9][0-9]-*.sh; do
  [ -e "$part" ] || continue
  echo
  echo "=================================================================="
  echo "== $(basename "$part" .sh)"
  echo "=================================================================="
  bash "$part"
done
