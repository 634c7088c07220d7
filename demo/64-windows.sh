#!/usr/bin/env bash
# The windows module in the host stand-in on the emulated handheld: the device's desktop
# (handheld_desktop.exe) holds a few real windows on the 240 x 320 x 16 screen; the panel lists the
# visible titled ones with their handles and classes, Enter brings one to the front, F8 asks and
# then brings the device's desktop forward.
set -euo pipefail
source "$(dirname "$0")/handrel_setup.sh"
handrel_demo windows "$DIST/Plugins/Handrel/Modules/windows.module"
export KEL_XSCREEN=240x320x16

# The device's desktop, until its control file is removed.
control=$out/desktop.txt
"$WINERUN" "$DIST/Tools/handheld_desktop.exe" "$(winpath "$control")" &
desktop=$!
for _ in $(seq 1 100); do [ -s "$control" ] && break; sleep 0.1; done
[ -s "$control" ] || { echo "the handheld's desktop did not start"; exit 1; }
trap 'rm -f "$control"; wait $desktop || true' EXIT
echo "The device's desktop windows (handle, visible, class, title):"
sed 's/^/  /' "$control"
echo

scenario=$out/windows.scn
cat > "$scenario" <<SCN
say The user opens the device panel and enters "Windows:": the visible titled windows, with the
say HWND and Class columns (the hidden window and the untitled one are not listed):
load $(winpath "$plugin/Handrel.dll")
open-panel 1 1 0
cd Windows:
show-panel
show-state
say
say Enter on "Calendar" brings it to the front on the device:
current Calendar
panel-key Enter
say
say F8 on "Inbox" asks first; the user answers "Minimize": the device's desktop comes forward:
current Inbox
answer message 0
delete
show-panel
say
say Leaving the module gives the panel its former view mode back, sorted by name:
cd ..
show-state
close-panel
SCN
"$WINERUN" "$DIST/Tools/kelhost.exe" "$scenario"
