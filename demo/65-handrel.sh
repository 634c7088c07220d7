#!/usr/bin/env bash
# Handrel in the host stand-in on the emulated handheld: the device panel's root with its module
# folders (the test module, until the real modules arrive) and the device information lines; into
# the module and out again with ".."; Ctrl+\ asking where to go; closing remembers the module.
set -euo pipefail
ROOT=${ROOT:-$(cd "$(dirname "$0")/.." && pwd)}
DIST=${DIST:-$ROOT/dist}
WINERUN=${WINERUN:-$ROOT/cmake/winerun}
DEMO_OUT=${DEMO_OUT:-$ROOT/build/demo}
out=$DEMO_OUT/handrel
root=$out/device
plugin=$out/Plugins/Handrel
rm -rf "$out"
mkdir -p "$root/Windows" "$root/Storage Card" "$root/.device" "$plugin/Modules"
winpath() { local p=$1; echo "Z:${p//\//\\}"; }

# The plugin as a user installs it, with the test module in its Modules folder.
cp "$DIST/Plugins/Handrel/Handrel.dll" "$DIST/Plugins/Handrel/HandrelEng.lng" "$plugin/"
cp "$DIST/Tools/Handrel/testmodule.module" "$plugin/Modules/test.module"
printf 'name Test\ntitle Test module\ndirs Documents;Documents\\Letters;Pictures\n' > "$plugin/Modules/test.module.cfg"

# The device: a name, a storage card, a battery on AC power.
export KEL_XSCREEN=240x320x16
export KEL_DEVICE_ROOT=$(winpath "$root")
printf '0x00000110 \\Storage Card\n' > "$root/.device/attributes"
printf '[HKEY_LOCAL_MACHINE\\Ident]\n"Name"="Demo Pocket"\n' > "$root/.device/registry"
printf 'ac=1\nbattery-flag=8\nbattery-percent=84\n' > "$root/.device/power"

scenario=$out/handrel.scn
cat > "$scenario" <<SCN
say The user opens the device panel from the plugins menu:
load $(winpath "$plugin/Handrel.dll")
open-panel 1 1 0
show-panel
say
say Enter on "Test:", then into Documents\\Letters by typing the path:
cd Test:
cd Documents\\Letters
show-panel
say
say ".." twice, then ".." at the module's top goes back to the root:
cd ..
cd ..
cd ..
show-state
say
say Back in, and Ctrl+\\ asks where to go; the user picks the module's top:
cd Test:Pictures
answer menu 1
panel-key Ctrl+Backslash
show-panel
say
say Closing the panel remembers the module for this device:
close-panel
registry
SCN
"$WINERUN" "$DIST/Tools/kelhost.exe" "$scenario"
echo
echo "The invoke library the plugin placed on the device:"
ls -l "$root/Windows" | sed -n '2,$p' | awk '{print "  " $5 " bytes  " $9}'
