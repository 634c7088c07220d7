#!/usr/bin/env bash
# Builds the test disk images with the real tools (mkfs.fat, mtools, sfdisk, mkfs.ntfs) and
# writes, beside each image, what mtools lists for it: NAME.expected, one line per item in
# walk terms: "path<TAB>size or DIR<TAB>yyyy-mm-dd hh:mm". Usage: make_images.sh OUTDIR
set -euo pipefail
out=$1
rm -rf "$out"
mkdir -p "$out"
cd "$out"
export MTOOLS_SKIP_CHECK=1 LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC
printf 'DEFAULT_CODEPAGE=%s\n' 437 > mtoolsrc.437
printf 'DEFAULT_CODEPAGE=%s\n' 866 > mtoolsrc.866

stamp="2009-02-01 13:45:10"
file() {  # file SIZE -> path of a source file of that many bytes with a fixed time
  local f="src.$1"
  [ -f "$f" ] || { head -c "$1" /dev/zero | tr '\0' 'x' > "$f"; touch -d "$stamp" "$f"; }
  echo "$f"
}
put() {  # put IMAGE SIZE DEST
  mcopy -m -i "$1" "$(file "$2")" "::$3"
}

# mtools' listing of one volume in the walk's terms, paths prefixed with $3.
listing() {  # listing IMAGE[@@offset] CODEPAGE PREFIX
  MTOOLSRC=mtoolsrc.$2 mdir -/ -a -i "$1" ::/ | awk -v prefix="$3" -v bs='\\' '
    /^Directory for ::/ { k = split(substr($0, 18), p, "/"); dir = ""; for (i = 1; i <= k; i++) dir = dir p[i] bs; next }
    match($0, / +(<DIR>|[0-9]+) +[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] +[0-9]+:[0-9][0-9]/) {
      head = substr($0, 1, RSTART - 1); tail = substr($0, RSTART + RLENGTH)
      split(substr($0, RSTART, RLENGTH), f, " ")
      split(head, n, " ")
      short = n[1]; if (n[2] != "") short = short "." n[2]
      name = (substr(tail, 1, 2) == "  ") ? substr(tail, 3) : short
      if (name == "." || name == "..") next
      split(f[3], t, ":")
      printf "%s%s%s\t%s\t%s %02d:%s\n", prefix, dir, name, (f[1] == "<DIR>" ? "DIR" : f[1]), f[2], t[1], t[2]
    }'
}

# 1. A 1.44 MB floppy (FAT12, media 0xF0): accented Latin names, folders, a label, a deleted
#    file, and a long name whose checksum no longer matches its short entry.
img=floppy.img
mkfs.fat -C -F 12 -M 0xF0 -n FLOPPY "$img" 1440 >/dev/null
mmd -i $img ::/Docs ::/Docs/Letters ::/Docs/Letters/Old ::/Empty
put $img 10 /README.TXT
put $img 1234 "/Café au lait.txt"
put $img 5 "/naïve résumé.doc"
put $img 700 "/Docs/A rather long file name for testing.text"
put $img 3 /Docs/Letters/LETTER.TXT
put $img 4000 "/Docs/Letters/Old/Year 2008 summary.txt"
put $img 1 /GONE.TXT
put $img 2 "/Deleted long name.txt"
mdel -i $img ::/GONE.TXT "::/Deleted long name.txt"
put $img 77 "/Checksum broken here.txt"
mlabel -i $img ::DISK_ONE
# Break the long name's checksum (entry byte 13) of "Checksum broken here.txt".
lfn=$(LC_ALL=C grep -obUaP 'C\x00h\x00e\x00c\x00k\x00' $img | head -1 | cut -d: -f1)
printf '\x00' | dd of=$img bs=1 seek=$((lfn - 1 + 13)) conv=notrunc status=none
listing $img 437 "" > floppy.expected

# 2. The same floppy behind a 32 KiB header: the boot sector is found inside the first window.
head -c 32768 /dev/zero > header32k.img
cat floppy.img >> header32k.img
cp floppy.expected header32k.expected

# 3. A FAT16 volume without partition table: Cyrillic long names (code page 866 short names)
#    and a short name whose first byte is stored as 0x05 (a real first letter 0xE5, "х").
img=cyrillic.img
mkfs.fat -C -F 16 "$img" 20000 >/dev/null
mmd -i $img "::/Документы" "::/Документы/Письма"
put $img 100 "/Привет мир.txt"
put $img 2048 "/Документы/Отчёт за год.doc"
put $img 12 "/Документы/Письма/Ёлка.txt"
put $img 9 /XFILE.TXT
x=$(LC_ALL=C grep -obUa 'XFILE   TXT' $img | head -1 | cut -d: -f1)
printf '\x05' | dd of=$img bs=1 seek="$x" conv=notrunc status=none
listing $img 866 "" > cyrillic.expected

# 4. A partitioned hard disk: FAT16 C: at sector 63, NTFS D:, and an extended partition whose
#    logical FAT32 volume is E:. Partitions end on a track's last sector (multiples of 63).
img=disk.img
rm -f $img
truncate -s $((124803 * 512)) $img
sfdisk -q $img >/dev/null <<'TABLE'
label: dos
unit: sectors
start=63, size=32760, type=6
start=32823, size=16380, type=7
start=49203, size=75600, type=5
start=49266, size=74970, type=c
TABLE
truncate -s $((32760 * 512)) c.part
mkfs.fat -F 16 -h 63 -n SYSTEM c.part >/dev/null
mmd -i c.part ::/DOCS ::/DOCS/Reports
put c.part 300 /DOCS/LETTER.TXT
put c.part 4096 "/DOCS/Reports/Quarterly report.txt"
put c.part 12 /AUTOEXEC.BAT
truncate -s $((16380 * 512)) d.part
mkfs.ntfs -q -F -Q -s 512 -p 32823 -H 255 -S 63 -L DATA d.part >/dev/null 2>&1
truncate -s $((74970 * 512)) e.part
mkfs.fat -F 32 -s 1 -h 49266 e.part >/dev/null
mmd -i e.part ::/Music "::/Music/Live recordings"
put e.part 65536 "/Music/Live recordings/Track 01.mp3"
put e.part 5 /NOTES.TXT
dd if=c.part of=$img bs=512 seek=63 conv=notrunc,sparse status=none
dd if=d.part of=$img bs=512 seek=32823 conv=notrunc,sparse status=none
dd if=e.part of=$img bs=512 seek=49266 conv=notrunc,sparse status=none
{
  listing c.part 437 'C:\'
  printf 'descript.ion\t0\t1601-01-01 00:00\n'
  listing e.part 437 'E:\'
} > disk.expected
rm -f c.part d.part e.part src.*
