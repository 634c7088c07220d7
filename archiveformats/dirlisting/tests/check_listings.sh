#!/usr/bin/env bash
# Lists the saved listings of make_listings.sh through coffer.exe and Listor.fmt under Wine and
# compares every line with what the panel must show (Russian under an 866 OEM code page).
# Usage: check_listings.sh COFFER_EXE LISTOR_FMT WORKDIR
set -uo pipefail
coffer=$1; module=$2; dir=$3
here=$(cd "$(dirname "$0")" && pwd)
winerun=$here/../../../cmake/winerun
export TZ=UTC
bash "$here/make_listings.sh" "$dir" || exit 1
failures=0
check() {  # check LISTING LANG EXPECTED
  local got
  got=$(LANG=$2 LC_ALL=$2 "$winerun" "$coffer" "$module" "$dir/$1" 2>/dev/null | tr -d '\r' | grep -v '^bash: warning')
  if [ "$got" != "$3" ]; then
    echo "FAIL $1"; diff <(printf '%s\n' "$3") <(printf '%s\n' "$got"); failures=$((failures + 1))
  else
    echo "ok   $1"
  fi
}
T=$'\t'
check english.dir C.UTF-8 "# format: DIR (dir)
Notes${T}00000010${T}0${T}0${T}2009-03-14 09:30:00${T}${T} 5C3A-01F2  Label: WORK
archive.bin${T}00000000${T}1048576${T}0${T}2009-01-02 18:05:00${T}${T} 5C3A-01F2  Label: WORK
Shared${T}00000010${T}0${T}0${T}2009-03-14 09:31:00${T}${T} 5C3A-01F2  Label: WORK
link1${T}00000010${T}0${T}0${T}2009-03-14 09:31:00${T}${T} 5C3A-01F2  Label: WORK
Notes\\todo.txt${T}00000000${T}812${T}0${T}2009-02-28 23:59:00${T}${T} 5C3A-01F2  Label: WORK
items: 5"
check russian.dir ru_RU.UTF-8 "# format: DIR (dir)
Лето${T}00000010${T}0${T}0${T}2009-02-01 13:45:00${T}${T} 0A1B-2C3D  Label: АРХИВ
хлеб.jpg${T}00000000${T}204800${T}0${T}2009-02-01 13:46:00${T}${T} 0A1B-2C3D  Label: АРХИВ
Лето\\море.jpg${T}00000000${T}3145728${T}0${T}2008-07-05 10:00:00${T}${T} 0A1B-2C3D  Label: АРХИВ
items: 3"
# Not a listing: the module must not claim it.
LANG=C.UTF-8 "$winerun" "$coffer" "$module" "$dir/../listings/make_listings.missing" >/dev/null 2>&1
[ $? -eq 2 ] || { echo "FAIL: a missing file was claimed"; failures=$((failures + 1)); }
exit $((failures > 0))
