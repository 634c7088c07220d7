#!/usr/bin/env bash
# Sheafer in the host stand-in, on Wine's real clipboard: two files copied from one panel folder
# and pasted into another, then a shortcut to one of them.
set -euo pipefail
src=$DEMO_OUT/sheaf-from; dst=$DEMO_OUT/sheaf-to
rm -rf "$src" "$dst"; mkdir -p "$src" "$dst"
printf 'Budget for the year\r\n' > "$src/budget.txt"
printf 'Minutes of the meeting\r\n' > "$src/minutes 2026.txt"
printf 'left where it is\r\n' > "$src/other.txt"
w() { local p=$1; echo "Z:${p//\//\\}"; }
scenario=$DEMO_OUT/sheafer.scn
cat > "$scenario" <<SCN
say The user loads Sheafer; its prefix is "sheaf".
load $DIST/Plugins/Sheafer/Sheafer.dll
info 1
panel $(w "$src")
say
say 1. "sheaf copy budget.txt" and "minutes 2026.txt", in quotes: both go on the clipboard:
command 1 copy budget.txt "minutes 2026.txt"
say
say 2. In another folder, "sheaf paste": the shell copies them there in the background:
panel $(w "$dst")
command 1 paste
synchro
show-panel
say
say 3. "sheaf link" makes shortcuts to the clipboard's files:
command 1 link
show-panel
SCN
KEL_DISPLAY=1 "$WINERUN" "$DIST/Tools/kelhost.exe" "$scenario"
echo
for f in budget.txt "minutes 2026.txt"; do
  if cmp -s "$src/$f" "$dst/$f"; then echo "\"$f\" arrived whole in the other folder"; else echo "\"$f\" differs"; exit 1; fi
done
