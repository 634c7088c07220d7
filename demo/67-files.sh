#!/usr/bin/env bash
# The device's files in the host stand-in: the device panel on the emulated handheld, a folder
# copied from the computer to the device (F5 into the device panel) and back into another local
# folder (F5 from the device panel, its Copy dialog accepted), then both copies compared.
set -euo pipefail
ROOT=${ROOT:-$(cd "$(dirname "$0")/.." && pwd)}
DIST=${DIST:-$ROOT/dist}
WINERUN=${WINERUN:-$ROOT/cmake/winerun}
DEMO_OUT=${DEMO_OUT:-$ROOT/build/demo}
MODULE=${FILES_MODULE:-$DIST/Plugins/Handrel/Modules/files.module}
out=$DEMO_OUT/files
root=$out/device
plugin=$out/Plugins/Handrel
local=$out/computer
rm -rf "$out"
mkdir -p "$root/Windows" "$root/My Documents" "$root/.device" "$plugin/Modules" "$local/Trip/Notes" "$local/Back"
winpath() { local p=$1; echo "Z:${p//\//\\}"; }

# The plugin as a user installs it, with the file module in its Modules folder.
cp "$DIST/Plugins/Handrel/Handrel.dll" "$DIST/Plugins/Handrel/HandrelEng.lng" "$plugin/"
cp "$MODULE" "$plugin/Modules/files.module"

# The device, and a folder on the computer: a few files, one of them 200 KB (several blocks).
export KEL_DEVICE_ROOT=$(winpath "$root")
export KEL_OEMCP=437
printf '[HKEY_LOCAL_MACHINE\\Ident]\n"Name"="Demo Pocket"\n' > "$root/.device/registry"
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
