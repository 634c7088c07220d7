#!/usr/bin/env bash
# Lists every test image through Oculo and compares with what mtools listed (NAME.expected from
# make_images.sh): paths, sizes or DIR, write times to the minute, directory order within each
# folder, the description item and drive letters of the partitioned image.
#   check_images.sh native OCULO_LIST IMAGEDIR
#   check_images.sh wine COFFER_EXE OCULO_FMT IMAGEDIR
set -uo pipefail
mode=$1
here=$(cd "$(dirname "$0")" && pwd)
winerun=$here/../../../cmake/winerun
export TZ=UTC
if [ "$mode" = native ]; then lister=$2; dir=$3; else coffer=$2; module=$3; dir=$4; fi

list() {  # list IMAGE CODEPAGE
  if [ "$mode" = native ]; then
    "$lister" --codepage "$2" "$1"
  else
    local lang=C.UTF-8
    [ "$2" = 866 ] && lang=ru_RU.UTF-8
    LANG=$lang LC_ALL=$lang "$winerun" "$coffer" "$module" "$1"
  fi
}

# "parent<TAB>line", stably grouped by parent: keeps the order inside each folder only.
by_folder() {
  awk -F'\t' '{ p = $1; sub(/[^\\]*$/, "", p); print p "\t" $0 }' | LC_ALL=C sort -s -t$'\t' -k1,1
}

failures=0
for image in floppy:437 header32k:437 cyrillic:866 disk:437; do
  name=${image%%:*}; cp=${image##*:}
  out=$(list "$dir/$name.img" "$cp" | tr -d '\r')
  got=$(printf '%s\n' "$out" | grep -v '^# ' | grep $'\t' |
        awk -F'\t' '{ d = (substr($2, 7, 1) ~ /[13579BDF]/) ? "DIR" : $3;
                      printf "%s\t%s\t%s\n", $1, d, substr($5, 1, 16) }')
  count=$(printf '%s\n' "$out" | sed -n 's/^items: //p')
  lines=$(printf '%s\n' "$got" | grep -c .)
  if [ "$count" != "$lines" ]; then
    echo "FAIL $name: items line says '$count', $lines item lines"; failures=$((failures + 1))
  fi
  if ! diff <(by_folder < "$dir/$name.expected") <(printf '%s\n' "$got" | by_folder) > "$dir/$name.$mode.diff"; then
    echo "FAIL $name: listing differs from mtools (< mtools, > Oculo)"; cat "$dir/$name.$mode.diff"
    failures=$((failures + 1))
  else
    echo "ok   $name: $lines items match mtools"
  fi
done

# Details mtools does not show: 8.3 names, and the description item keeps an empty record.
floppy=$(list "$dir/floppy.img" 437 | tr -d '\r')
grep -qP '^Café au lait\.txt\t00000020\t1234\t1234\t2009-02-01 13:45:10\t[^\t]+~1\.TXT\t$' <<<"$floppy" ||
  { echo "FAIL floppy: record of 'Café au lait.txt'"; failures=$((failures + 1)); }
grep -q 'DISK_ONE\|GONE\|Deleted' <<<"$floppy" && { echo "FAIL floppy: label or deleted file listed"; failures=$((failures + 1)); }
disk=$(list "$dir/disk.img" 437 | tr -d '\r')
grep -qP '^descript\.ion\t00000000\t0\t0\t1601-01-01 00:00:00\t\t$' <<<"$disk" ||
  { echo "FAIL disk: description item"; failures=$((failures + 1)); }
if [ "$mode" = wine ]; then
  grep -q '^# sfx position: 32256$' <<<"$disk" || { echo "FAIL disk: sfx position"; failures=$((failures + 1)); }
  grep -q '^# sfx position: 32768$' < <(list "$dir/header32k.img" 437 | tr -d '\r') ||
    { echo "FAIL header32k: sfx position"; failures=$((failures + 1)); }
  # Commands 4 to 9 answer with empty texts (not printed), 14 is the last one.
  grep -q '^# format: OculoFile (IMG)$' <<<"$disk" && grep -q '^# command 14: \*\.\*$' <<<"$disk" &&
    grep -q '^# command 10: Oculo.exe /a %%a @%%LM$' <<<"$disk" && ! grep -q '^# command 15' <<<"$disk" ||
    { echo "FAIL disk: format name or default commands"; failures=$((failures + 1)); }
  # A file that is no image is not claimed (exit code 2).
  "$winerun" "$coffer" "$module" "$dir/floppy.expected" >/dev/null 2>&1
  [ $? -eq 2 ] || { echo "FAIL: a text file was claimed"; failures=$((failures + 1)); }
fi
exit $((failures > 0))
