#!/usr/bin/env bash
# The device's files in the host stand-in: the device panel on the emulated handheld, a folder
# copied from the computer to the device (F5 into the device panel) and back into another local
# folder (F5 from the device panel, its Copy dialog accepted), then both copies compared.
set -euo pipefail
source "$(dirname "$0")/handrel_setup.sh"
MODULE=${FILES_MODULE:-$DIST/Plugins/Handrel/Modules/files.module}
handrel_demo files
cp "$MODULE" "$plugin/Modules/files.module"
local=$out/computer
mkdir -p "$root/My Documents" "$local/Trip/Notes" "$local/Back"

# The device, and a folder on the computer: a few files, one of them 200 KB (several blocks).
export KEL_OEMCP=437
printf 'Day one: the harbour.\r\n' > "$local/Trip/day1.txt"
printf 'Day two: the hills.\r\n' > "$local/Trip/day2.txt"
printf 'Bring a map.\r\n' > "$local/Trip/Notes/todo.txt"
head -c 204800 /dev/urandom > "$local/Trip/photo.jpg"

scenario=$out/files.scn
cat > "$scenario" <<SCN
say The user opens the device panel and enters the device's files:
load $(winpath "$plugin/Handrel.dll")
open-panel 1 1 0
cd Files:
show-panel
say
say On the computer's panel the user selects the folder Trip and presses F5 (copy to the device):
swap
panel $(winpath "$local")
select Trip
show-panel
copy
swap
show-panel
say
say Into Trip on the device:
cd Trip
show-panel
cd ..
say
say Back to the computer: Trip selected on the device panel, F5, the Copy dialog accepted with Enter:
swap
panel $(winpath "$local/Back")
swap
select Trip
dialog key Enter
copy
swap
show-panel
SCN
"$WINERUN" "$DIST/Tools/kelhost.exe" "$scenario"
echo
echo "The folder as it came back, compared with the original:"
if diff -r "$local/Trip" "$local/Back/Trip" >/dev/null; then
  (cd "$local/Back" && find Trip -type f | sort | while read -r f; do echo "  $(stat -c %s "$f") bytes  $f  (same as the original)"; done)
else
  diff -r "$local/Trip" "$local/Back/Trip" || true
fi
