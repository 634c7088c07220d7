#!/usr/bin/env bash
# Writes two saved "dir /s" listings as the command interpreter prints them: english.dir and
# russian.dir (code page 866, made from UTF-8 text with iconv). Usage: make_listings.sh OUTDIR
set -euo pipefail
out=$1
mkdir -p "$out"
crlf() { sed 's/$/\r/'; }
crlf > "$out/english.dir" <<'TEXT'
 Volume in drive C is WORK
 Volume Serial Number is 5C3A-01F2

 Directory of C:\Projects

14.03.2009  09:30    <DIR>          .
14.03.2009  09:30    <DIR>          ..
14.03.2009  09:30    <DIR>          Notes
02.01.2009  18:05         1 048 576 archive.bin
14.03.2009  09:31    <JUNCTION>     Shared [C:\Users\Public]
14.03.2009  09:31    <SYMLINKD>     link1 [folder]
               1 File(s)      1 048 576 bytes

 Directory of C:\Projects\Notes

14.03.2009  09:30    <DIR>          .   
14.03.2009  09:30    <DIR>          ..
28.02.2009  23:59               812 todo.txt   
               1 File(s)            812 bytes

     Total Files Listed:
               2 File(s)      1 049 388 bytes
               5 Dir(s)  12 345 678 bytes free
TEXT
iconv -f UTF-8 -t CP866 <<'TEXT' | crlf > "$out/russian.dir"
 Том в устройстве D имеет метку АРХИВ
 Серийный номер тома: 0A1B-2C3D

 Содержимое папки D:\Фото

01.02.2009  13:45    <DIR>          .
01.02.2009  13:45    <DIR>          ..
01.02.2009  13:45    <DIR>          Лето
01.02.2009  13:46           204 800 хлеб.jpg

 Содержимое папки D:\Фото\Лето

01.02.2009  13:45    <DIR>          .
01.02.2009  13:45    <DIR>          ..
05.07.2008  10:00         3 145 728 море.jpg
               1 файлов      3 145 728 байт

     Всего файлов:
TEXT
