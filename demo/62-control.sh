#!/usr/bin/env bash
# The remote keyboard in the host stand-in on the emulated handheld: the user enters "Control:"
# in the device panel, types a word, presses Ctrl+Shift+Left and Esc (which go to the device and
# leave the dialog open), clicks the "OK key" hint, types the computer's clipboard with Alt+F10
# and closes with Alt+F12; then what arrived in the device's input log.
set -euo pipefail
source "$(dirname "$0")/handrel_setup.sh"
handrel_demo control "$DIST/Plugins/Handrel/Modules/control.module"

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
