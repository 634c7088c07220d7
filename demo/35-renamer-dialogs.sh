#!/usr/bin/env bash
# Quillet's rename dialogs in the host stand-in: four photos renamed with the name template
# Holiday_??, a name that is already taken resolved through the conflict prompt, the summary,
# and the rollback that gives every photo its old name back.
set -euo pipefail
photos=$DEMO_OUT/renamer-dialogs
rm -rf "$photos"
mkdir -p "$photos"
for name in beach.jpg dunes.jpg harbour.jpg sunset.jpg Holiday_02.jpg; do
  printf 'photo %s\n' "$name" > "$photos/$name"
done
# The stand-in sees the folder through Wine's drive Z:.
winphotos="Z:$(printf '%s' "$photos" | tr '/' '\\')"
"$WINERUN" "$DIST/Tools/quillet_tour.exe" "$DIST/Plugins/Quillet/Quillet.dll" "$winphotos"
echo
echo "Contents checked on the Linux side after the rollback:"
for name in beach.jpg dunes.jpg harbour.jpg sunset.jpg Holiday_02.jpg; do
  printf '  %-16s %s' "$name" "$(cat "$photos/$name")"; echo
done
