#!/usr/bin/env bash
# Quillet in the host stand-in: the first start writes its settings, the plugins menu follows
# them, a selection becomes the list of items to rename (shown in the rename dialog), and the
# configuration dialog changes values that land in the registry.
set -euo pipefail
scenario=$DEMO_OUT/renamer.scn
photos=$DEMO_OUT/renamer-photos
rm -rf "$photos"
mkdir -p "$photos/album"
touch "$photos/a.jpg" "$photos/b.jpg" "$photos/notes.txt"
# The stand-in sees the folder through Wine's drive Z:.
winphotos="Z:$(printf '%s' "$photos" | tr '/' '\\')"
cat > "$scenario" <<SCN
say The user loads Quillet; its first start writes the default settings.
load $DIST/Plugins/Quillet/Quillet.dll
registry
say
say 1. The plugins menu with the default settings (one entry for the default dialog, one for the editor):
info 1
say
say 2. Only a folder selected: folders are left out unless "RenameFolders" is on, so nothing is left to rename.
panel "$winphotos"
select album
answer message 0
open 1 1 0
say
say 3. Three files added to the selection: the list holds them (3 of the 4 selected items, the folder
say    stays out) and the rename dialog opens; the user leaves it with Esc (demo 35 renames).
select a.jpg b.jpg notes.txt
dialog key Esc
answer message 0
open 1 1 0
say
say 4. The configuration dialog: the user turns on "Multiple menu entries", enters 0 as the
say    most suffix numbers tried (stored as 4294967294) and 0 as the history maximum (stored as 1),
say    empties the word delimiters (the default set comes back), and saves.
dialog click 13 ; type 41 0 ; type 45 0 ; type 21 "" ; click 54
configure 1 0
say
say 5. The plugins menu now offers Manipulate and Construct as two entries:
info 1
say
say 6. The values in the registry:
registry
SCN
"$WINERUN" "$DIST/Tools/kelhost.exe" "$scenario"
