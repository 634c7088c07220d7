#!/usr/bin/env bash
# The editor tools and the clipboard fixer in the host stand-in: a Backspace that unindents, a
# comment toggled over a marked block, trailing blanks trimmed with the counts reported, and a
# clipboard of wrongly widened Russian text repaired.
set -euo pipefail
mkdir -p "$DEMO_OUT/editortools"
sample=$DEMO_OUT/editortools/build.py
printf 'def build(target):   \r\n    compile(target)\t\r\n        link(target)\r\n    return True  \r\n\r\n\r\n\r\n' > "$sample"
scenario=$DEMO_OUT/editortools/editortools.scn
cat > "$scenario" <<SCN
say The user opens build.py in the editor. Its lines end in CR LF; some end in blanks, and three empty lines close the file.
load $DIST/Plugins/Glossa/Glossa.dll
load $DIST/Plugins/Snipwell/Snipwell.dll
load $DIST/Plugins/Rubato/Rubato.dll
edit $sample
show-editor
say
say 1. Rubato: the cursor goes to the start of "link(target)" on line 3 (character 8) and the
say    user presses Backspace: the line moves back to the indentation of line 2, not one column.
key Down
key Down
key Right
key Right
key Right
key Right
key Right
key Right
key Right
key Right
key BS
show-editor
say
say 2. Glossa: the user marks lines 2 and 3 (Shift+Up twice from line 4) and picks "Add comment".
say    No type is configured for *.py yet, so the default comment "//" is used.
key Home
key Down
key Shift+Up
key Shift+Up
answer menu 0
open 1 5 0
show-editor
say
say    "Remove comment" takes it away again; then a type "Python" with the comment "#" is added
say    in the configuration menu (Ins) and "Add comment" now uses "#".
answer menu 1
open 1 5 0
answer menu 0 0
dialog type 2 Python ; type 5 *.py,*.pyw ; type 7 # ; close 9
answer menu -1
configure 1 0
answer menu 0
open 1 5 0
show-editor
say
say 3. Snipwell: "Trim trailing blanks" from the editor's plugins menu.
answer message 0
open 2 5 0
show-editor
SCN
"$WINERUN" "$DIST/Tools/kelhost.exe" "$scenario"
echo
echo "4. Mendlet: another program put Russian text on the clipboard and widened each byte instead of"
echo "   converting it (the system's ANSI code page is 1251)."
env LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 KEL_DISPLAY=1 "$WINERUN" "$ROOT/build/win32/clipboardtools/fixer/mendlet_demo.exe" \
  "$DIST/Plugins/Mendlet/Mendlet.dll" 2>&1 | grep -v 'setlocale'
echo
