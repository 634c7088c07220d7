#!/usr/bin/env bash
# Lofter in the host stand-in: a console program runs in the host's console, a document opens
# with its registered handler through the shell, and a missing program is explained.
set -euo pipefail
work=$DEMO_OUT/launcher
rm -rf "$work"; mkdir -p "$work"
printf 'quarterly figures\r\n' > "$work/report.kdemo"
winwork="Z:${work//\//\\}"
# A document type of the demo's own: opening one copies it beside itself, so the demo can show
# that the shell really ran its handler.
"$WINERUN" reg add 'HKCR\.kdemo' /ve /d KelDemoDoc /f >/dev/null
"$WINERUN" reg add 'HKCR\KelDemoDoc\shell\open\command' /ve /d 'cmd /c copy "%1" "%1.opened"' /f >/dev/null
scenario=$DEMO_OUT/launcher.scn
cat > "$scenario" <<SCN
say The user loads Lofter; its prefix is "lf".
load $DIST/Plugins/Lofter/Lofter.dll
info 1
panel $winwork
say
say 1. "lf cmd /c echo Hello from a console program" runs inside the host's console:
command 1 cmd /c echo Hello from a console program
say
say 2. "lf report.kdemo", a document, goes to the shell with the launch notice:
command 1 report.kdemo
say
say 3. "lf no_such_tool --help": the program is nowhere to be found:
answer message 0
command 1 no_such_tool --help
say
say 4. "lf" alone shows the about box:
answer message 0
command 1
SCN
"$WINERUN" "$DIST/Tools/kelhost.exe" "$scenario"
for _ in $(seq 1 50); do [ -f "$work/report.kdemo.opened" ] && break; sleep 0.1; done
if [ -f "$work/report.kdemo.opened" ]; then
  echo "The document's handler ran: report.kdemo.opened holds \"$(tr -d '\r\n' < "$work/report.kdemo.opened")\""
else
  echo "The document's handler did not run"; exit 1
fi
