#!/usr/bin/env bash
# Handrel in the host stand-in on the emulated handheld: the device panel's root with its module
# folders (the test module, until the real modules arrive) and the device information lines; into
# the module and out again with ".."; Ctrl+\ asking where to go; closing remembers the module.
set -euo pipefail
source "$(dirname "$0")/handrel_setup.sh"
handrel_demo handrel

# The test module in the plugin's Modules folder.
cp "$DIST/Tools/Handrel/testmodule.module" "$plugin/Modules/test.module"
printf 'name Test\ntitle Test module\ndirs Documents;Documents\\Letters;Pictures\n' > "$plugin/Modules/test.module.cfg"

# The device: a storage card, a battery on AC power.
export KEL_XSCREEN=240x320x16
mkdir -p "$root/Storage Card"
printf '0x00000110 \\Storage Card\n' > "$root/.device/attributes"
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
