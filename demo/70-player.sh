#!/usr/bin/env bash
# Tunlo, the audio player, in the host stand-in: a folder of a tagged WAV, an AIFF, a tracker
# module and a text file; the player dialog drawn as the console shows it while the track plays,
# then after seeking, a volume and balance change, pausing, and moving through the folder.
set -euo pipefail
music=$DEMO_OUT/player
rm -rf "$music"
mkdir -p "$music"
# The stand-in sees the folder through Wine's drive Z:.
winmusic="Z:$(printf '%s' "$music" | tr '/' '\\')"
"$WINERUN" "$DIST/Tools/tunlo_tour.exe" "$DIST/Plugins/Tunlo/Tunlo.dll" "$winmusic"
