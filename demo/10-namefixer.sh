#!/usr/bin/env bash
# Scrivel in the host stand-in: names typed with trailing dots and blanks into the host's own
# dialogs reach the host without them; the parent folder ".." survives in path dialogs.
set -euo pipefail
scenario=$DEMO_OUT/namefixer.scn
cat > "$scenario" <<SCN
say The user loads Scrivel and confirms names in the host's dialogs.
load $DIST/Plugins/Scrivel/Scrivel.dll
say
say 1. Make folder, typing "report.txt. " (a trailing dot and a blank):
hostdialog 2 "report.txt. "
say
say 2. Copy to "..\.." (the parent of the parent folder) keeps its dots:
hostdialog 0 "..\.. "
say
say 3. Edit new file "notes..." loses all three dots:
hostdialog 4 "notes..."
say
say 4. Esc leaves the text alone (the host takes nothing):
hostdialog 2 "draft. " esc
say
say 5. When the host cannot give the dialog's information (scripted: its next request fails),
say    Scrivel steps aside quietly and the name goes through as typed:
fail HostSendDlgMessage/64
hostdialog 2 "draft. "
SCN
"$WINERUN" "$DIST/Tools/kelhost.exe" "$scenario"
