#!/usr/bin/env bash
# Archive format benchmark (not part of CI): lists a FAT32 image of about 100,000 files with long
# names in 2,000 folders with Oculo's core (native driver) and, in the same run, with mdir and 7z;
# then parses a 200 MB recursive listing with Listor's core beside `wc -l` on the same file.
# The image and listing are built once and cached under build/bench-archiveformats.
#   run.sh          both parts
#   run.sh listor   the listing part only
set -euo pipefail
only=${1:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/bench-archiveformats
bld=$root/build/bench-af-release
mkdir -p "$out"
export MTOOLS_SKIP_CHECK=1 LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC

cmake -S "$root" -B "$bld" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKEL_ONLY="archiveformats/diskimage;archiveformats/dirlisting;bench/archiveformats" >/dev/null
cmake --build "$bld" --target oculo_list af_bench_tools >/dev/null
oculo_list=$bld/archiveformats/diskimage/tests/oculo_list
tools=$bld/bench/archiveformats/af_bench_tools

listor_part() {
  local listing=$out/listing-200mb.dir parse t_parse t_wc
  [ -f "$listing" ] || "$tools" listing "$listing" 200
  cat "$listing" > /dev/null
  echo "listing: $(du -h --apparent-size "$listing" | cut -f1)"
  parse=$("$tools" parse "$listing")
  echo "Listor core: $parse"
  t_parse=$(echo "$parse" | sed -n 's/.* in \([0-9.]*\) s.*/\1/p')
  t_wc=$(wall "$(best wc -l "$listing")")
  printf 'wc -l: %s s; Listor takes %.1fx the time of wc -l (goal <= 3x)\n' "$t_wc" "$(ratio "$t_parse" "$t_wc")"
}

img=$out/fat32-100k.img
if [ ! -f "$img" ]; then
  echo "building $img (once)..."
  start=$(date +%s)
  rm -rf "$out/tree"
  "$tools" tree "$out/tree" 2000 50
  truncate -s 512M "$img.tmp"
  mkfs.fat -F 32 -s 1 -n BENCH "$img.tmp" >/dev/null
  (cd "$out/tree" && mcopy -b -s -i "$img.tmp" ./* ::/)  # -b: batch mode, for huge recursive copies
  rm -rf "$out/tree"
  mv "$img.tmp" "$img"
  echo "  built in $(( $(date +%s) - start )) s"
fi

seconds() {  # "wall cpu" of one run, in seconds
  local TIMEFORMAT='%R %U %S' t
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
  awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.3f %.3f", a[1], a[2] + a[3] }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { print a / b }'; }
best() {  # best wall and best cpu time of three runs: "wall cpu"
  local w=999999 c=999999 t
  for _ in 1 2 3; do
    t=$(seconds "$@")
    w=$(awk -v t="${t% *}" -v b="$w" 'BEGIN { print (t < b) ? t : b }')
    c=$(awk -v t="${t#* }" -v b="$c" 'BEGIN { print (t < b) ? t : b }')
  done
  echo "$w $c"
}
wall() { echo "${1% *}"; }
cpu() { echo "${1#* }"; }
if [ "$only" = listor ]; then
  listor_part
  exit 0
fi
cat "$img" > /dev/null  # the page cache holds the image for every contender alike

items=$("$oculo_list" --count "$img" 2>"$out/clusters.txt" | sed -n 's/^items: //p')
echo "image: $(du -h --apparent-size "$img" | cut -f1), $items items; $(cat "$out/clusters.txt")"
t_oculo=$(best "$oculo_list" "$img")
t_mdir=$(best mdir -/ -a -i "$img" ::/)
t_7z=$(best 7z l "$img")
row() {  # row NAME TIMES [GOAL]: wall and cpu seconds, and how many times Oculo's they are
  printf '%-36s wall %6.3f s  cpu %6.3f s' "$1" "$(wall "$2")" "$(cpu "$2")"
  [ -n "${3:-}" ] && printf '   ratio wall %.1fx  cpu %.1fx  (goal >= %s)' \
    "$(ratio "$(wall "$2")" "$(wall "$t_oculo")")" "$(ratio "$(cpu "$2")" "$(cpu "$t_oculo")")" "$3"
  echo
}
row "Oculo core (native, listing printed)" "$t_oculo"
row "mdir -/ -a" "$t_mdir" 3x
row "7z l" "$t_7z" 2.5x

coffer=$root/build/af-win32/standins/coffer/coffer.exe
module=$root/build/af-win32/archiveformats/diskimage/Oculo.fmt
[ -f "$coffer" ] || coffer=$root/build/win32/standins/coffer/coffer.exe
[ -f "$module" ] || module=$root/build/win32/archiveformats/diskimage/Oculo.fmt
if [ -f "$coffer" ] && [ -f "$module" ]; then
  "$root/cmake/winerun" "$coffer" "$module" "$img" >/dev/null 2>&1 || true  # warm Wine up
  row "coffer.exe + Oculo.fmt under Wine" "$(seconds "$root/cmake/winerun" "$coffer" "$module" "$img")"
fi

listor_part
