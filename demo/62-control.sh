#!/usr/bin/env bash
# The remote keyboard in the host stand-in on the emulated handheld: the user enters "Control:"
# in the device panel, types a word, presses Ctrl+Shift+Left and Esc (which go to the device and
# leave the dialog open), clicks the "OK key" hint, types the computer's clipboard with Alt+F10
# and closes with Alt+F12; then what arrived in the device's input log.
set -euo pipefail
ROOT=${ROOT:-$(cd "$(dirname "$0")/.." && pwd)}
DIST=${DIST:-$ROOT/dist}
WINERUN=${WINERUN:-$ROOT/cmake/winerun}
DEMO_OUT=${DEMO_OUT:-$ROOT/build/demo}
out=$DEMO_OUT/control
root=$out/device
plugin=$out/Plugins/Handrel
rm -rf "$out"
mkdir -p "$root/Windows" "$root/.device" "$plugin/Modules"
winpath() { local p=$1; echo "Z:${p//\//\\}"; }

# The plugin as a user installs it, with the control module in its Modules folder.
cp "$DIST/Plugins/Handrel/Handrel.dll" "$DIST/Plugins/Handrel/HandrelEng.lng" "$plugin/"
cp "$DIST/Plugins/Handrel/Modules/control.module" "$plugin/Modules/"

export KEL_DEVICE_ROOT=$(winpath "$root")
printf '[HKEY_LOCAL_MACHINE\\Ident]\n"Name"="Demo Pocket"\n' > "$root/.device/registry"

scenario=$out/control.scn
cat > "$scenario" <<SCN
say The user opens the device panel and enters "Control:"; in its dialog they type "Hi",
say press Ctrl+Shift+Left and Esc, click the "OK key" hint, type the clipboard, and close:
load $(winpath "$plugin/Handrel.dll")
open-panel 1 1 0
clipboard "Hello from the PC"
dialog key H ; key i ; key Ctrl+Shift+Left ; key Esc ; click 7 ; key Alt+F10 ; key Alt+F12
cd Control:
say
say The panel is still at the device's root:
show-panel
close-panel
SCN
"$WINERUN" "$DIST/Tools/kelhost.exe" "$scenario"
echo
echo "What arrived in the device's input log (.device/input.log):"
sed 's/^/  /' "$root/.device/input.log"
