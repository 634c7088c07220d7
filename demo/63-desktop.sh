#!/usr/bin/env bash
# The device's screen as pictures: the Desktop module of the device browser in the host stand-in on
# the emulated handheld (a 240 x 320 x 16 screen). The user enters "Desktop:", sees the nine
# pictures, and copies the PNG of the whole screen to the other panel; then the saved file.
set -euo pipefail
source "$(dirname "$0")/handrel_setup.sh"
handrel_demo desktop "$DIST/Plugins/Handrel/Modules/desktop.module"
shots=$out/Screenshots
mkdir -p "$shots"
export KEL_XSCREEN=240x320x16

scenario=$out/desktop.scn
cat > "$scenario" <<SCN
panel $(winpath "$shots")
swap
say The user opens the device panel and enters "Desktop:":
load $(winpath "$plugin/Handrel.dll")
open-panel 1 1 0
cd Desktop:
show-panel
say
say F5 on 240x320x16.png; the copy dialog offers the other panel's folder and the user confirms:
current 240x320x16.png
dialog close 4
copy
SCN
"$WINERUN" "$DIST/Tools/kelhost.exe" "$scenario"
echo
echo "The saved screenshot:"
for f in "$shots"/*; do
  python3 - "$f" <<'PY'
import struct, sys
path = sys.argv[1]
data = open(path, 'rb').read()
if data[:8] == b'\x89PNG\r\n\x1a\n' and data[12:16] == b'IHDR':
    w, h, depth, colour = struct.unpack('>IIBB', data[16:26])
    print(f"  {path.rsplit('/', 1)[-1]}: {len(data)} bytes, PNG {w} x {h}, {depth} bits per channel")
else:
    print(f"  {path.rsplit('/', 1)[-1]}: {len(data)} bytes, not a PNG")
PY
done
