#!/usr/bin/env bash
# Builds every fuzz harness with libFuzzer (coverage and ASan/UBSan over the cores too) in
# build/fuzz and runs them all at once, at the lowest priority, for SECONDS each (default 60).
# Each run starts from the harness's seeds and dictionary; new inputs go to build/fuzz/work/NAME,
# crashes to build/fuzz/crashes/NAME, the log to build/fuzz/NAME.log. The last status line of
# each log (runs, cov:, ft:) is printed at the end.
#   cmake/fuzz.sh [SECONDS] [NAME...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
tree=build/fuzz
if [ ! -f $tree/CMakeCache.txt ]; then
  cmake -S . -B $tree -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DKEL_LIBFUZZER=ON ${KEL_ONLY:+"-DKEL_ONLY=$KEL_ONLY"} >/dev/null
fi
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for f in $tree/fuzzers/*.txt; do names+=("$(basename "$f" .txt)"); done
fi
nice -n 19 cmake --build $tree -j2 --target "${names[@]}"

pids=()
for name in "${names[@]}"; do
  binary=$(sed -n 's/^binary=//p' $tree/fuzzers/$name.txt)
  corpus=$(sed -n 's/^corpus=//p' $tree/fuzzers/$name.txt)
  dict=$(sed -n 's/^dict=//p' $tree/fuzzers/$name.txt)
  mkdir -p $tree/work/$name $tree/crashes/$name
  nice -n 19 "$binary" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=$tree/crashes/$name/ ${dict:+-dict="$dict"} \
    $tree/work/$name ${corpus:+"$corpus"} >$tree/$name.log 2>&1 &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
for name in "${names[@]}"; do
  echo "== $name: $(grep -E '^#[0-9]+' $tree/$name.log | tail -1)"
  grep -E '^stat::number_of_executed_units' $tree/$name.log || true
  ls $tree/crashes/$name
done
exit $status
