#!/usr/bin/env bash
# Oculo and Listor: a generated partitioned disk image and two saved "dir" listings opened the
# way the archive plugin opens them (the coffer stand-in prints what its panel would list).
set -euo pipefail
: "${ROOT:?}" "${DIST:?}" "${WINERUN:?}" "${DEMO_OUT:?}"
out=$DEMO_OUT/archiveformats
rm -rf "$out"
mkdir -p "$out"
cd "$out"
export MTOOLS_SKIP_CHECK=1 LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC
coffer=$DIST/Tools/coffer/coffer.exe

say() { printf '\n$ %s\n' "$*"; }

echo "Making a hard disk image: FAT16 C: at sector 63, an extended partition holding FAT32 D:"
truncate -s $((124803 * 512)) disk.img
sfdisk -q disk.img >/dev/null <<'TABLE'
label: dos
unit: sectors
start=63, size=32760, type=6
start=32823, size=91980, type=5
start=32886, size=91917, type=c
TABLE
sfdisk -l disk.img | sed -n '/Device/,$p'
truncate -s $((32760 * 512)) c.part
mkfs.fat -F 16 -h 63 -n SYSTEM c.part >/dev/null
echo "Dear friend, ..." > letter.txt
touch -d "2009-02-01 13:45" letter.txt
mmd -i c.part ::/DOCS "::/DOCS/Old letters"
mcopy -m -i c.part letter.txt ::/DOCS/LETTER.TXT
mcopy -m -i c.part letter.txt "::/DOCS/Old letters/Letter to grandmother.txt"
mcopy -m -i c.part letter.txt "::/Café menu.txt"
truncate -s $((91917 * 512)) d.part
mkfs.fat -F 32 -s 1 -h 32886 -n MEDIA d.part >/dev/null
mmd -i d.part ::/Music
head -c 70000 /dev/zero > track.mp3
touch -d "2008-07-05 10:00" track.mp3
mcopy -m -i d.part track.mp3 "::/Music/Track 01 - Overture.mp3"
dd if=c.part of=disk.img bs=512 seek=63 conv=notrunc,sparse status=none
dd if=d.part of=disk.img bs=512 seek=32886 conv=notrunc,sparse status=none
rm -f c.part d.part letter.txt track.mp3

say coffer.exe Formats/Oculo.fmt disk.img
"$WINERUN" "$coffer" "$DIST/Formats/Oculo.fmt" disk.img

bash "$ROOT/archiveformats/dirlisting/tests/make_listings.sh" "$out" >/dev/null
echo
echo "A saved English listing (dir /s):"
tr -d '\r' < english.dir | sed 's/^/    /'
say coffer.exe Formats/Listor.fmt english.dir
"$WINERUN" "$coffer" "$DIST/Formats/Listor.fmt" english.dir

echo
echo "A saved Russian listing, code page 866 (shown here converted to UTF-8):"
iconv -f CP866 -t UTF-8 russian.dir | tr -d '\r' | sed 's/^/    /'
say "LANG=ru_RU.UTF-8 coffer.exe Formats/Listor.fmt russian.dir"
LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 "$WINERUN" "$coffer" "$DIST/Formats/Listor.fmt" russian.dir 2>&1 | grep -v '^bash: warning'

say coffer.exe Formats/Listor.fmt disk.img
"$WINERUN" "$coffer" "$DIST/Formats/Listor.fmt" disk.img || echo "(exit code $?: Listor does not claim a disk image)"
