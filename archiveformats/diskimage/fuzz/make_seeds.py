#!/usr/bin/env python3
"""Writes the hand-made fuzz seeds of the disk image lister into corpus/: small FAT12, FAT16 and
FAT32 volumes with long-name runs, deleted entries and nested folders, and a disk whose
partition table holds a FAT16 volume, an extended partition with a nested table, a Linux
partition and an NTFS partition. Offsets are the published layout's, written out literally."""
import os
import struct
import sys

SECTOR = 512


def checksum(name11):
    s = 0
    for c in name11:
        s = (((s & 1) << 7) + (s >> 1) + c) & 0xFF
    return s


def entry(name11, attr, cluster=0, size=0):
    e = bytearray(32)
    e[0:11] = name11
    e[11] = attr
    struct.pack_into('<HHH', e, 14, 0x5A10, 0x3A41, 0x3A42)  # created 11:16:32, dates 2009-02-01/02
    struct.pack_into('<H', e, 20, cluster >> 16)
    struct.pack_into('<HH', e, 22, 0x6DA5, 0x3A41)  # written 13:45:10 on 2009-02-01
    struct.pack_into('<H', e, 26, cluster & 0xFFFF)
    struct.pack_into('<I', e, 28, size)
    return bytes(e)


def long_name(name, name11):
    chars = [ord(c) for c in name] + [0]
    while len(chars) % 13:
        chars.append(0xFFFF)
    parts = len(chars) // 13
    out = b''
    for k in range(parts):
        seq = parts - k
        e = bytearray(32)
        e[0] = seq | (0x40 if k == 0 else 0)
        e[11] = 0x0F
        e[13] = checksum(name11)
        piece = chars[(seq - 1) * 13:seq * 13]
        for i, off in enumerate((1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30)):
            struct.pack_into('<H', e, off, piece[i])
        out += bytes(e)
    return out


def tree(dot_cluster, parent_cluster):
    """Directory bytes: a label (root only), long names, a deleted run, a bad checksum, a folder."""
    root = dot_cluster is None
    d = b''
    if root:
        d += entry(b'SEEDVOLUME ', 0x08)
    else:
        d += entry(b'.          ', 0x10, dot_cluster) + entry(b'..         ', 0x10, parent_cluster)
    d += long_name('Quarterly report.txt', b'QUARTE~1TXT') + entry(b'QUARTE~1TXT', 0x20, 0, 4096)
    d += b'\xE5' + entry(b'GONE    TXT', 0x20)[1:]
    d += long_name('Wrong checksum name', b'SOMETHINELS') + entry(b'WRONGC~1TXT', 0x20, 0, 1)
    d += entry(b'\x05LEB    TXT', 0x20, 0, 7)
    return d


def fat_volume(bits, clusters=8, sectors_per_cluster=1):
    """A volume whose root holds the tree and a folder DOCS (cluster 2) with the tree again."""
    reserved = 1 if bits != 32 else 4
    entries_per_fat = clusters + 2
    fat_bytes = {12: (entries_per_fat * 3 + 1) // 2, 16: entries_per_fat * 2, 32: entries_per_fat * 4}[bits]
    fat_sectors = max(1, (fat_bytes + SECTOR - 1) // SECTOR)
    root_entries = 16 if bits != 32 else 0
    fat_at = reserved * SECTOR
    root_at = fat_at + fat_sectors * SECTOR
    data_at = root_at + root_entries * 32
    csize = sectors_per_cluster * SECTOR
    size = data_at + clusters * csize
    v = bytearray(size)
    v[0:3] = b'\xEB\x3C\x90'
    v[3:11] = b'MSWIN4.1'
    struct.pack_into('<HBHBHH', v, 11, SECTOR, sectors_per_cluster, reserved, 1, root_entries,
                     size // SECTOR if size // SECTOR < 65536 else 0)
    v[21] = 0xF8
    if bits == 32:
        struct.pack_into('<I', v, 32, size // SECTOR)
        struct.pack_into('<I', v, 36, fat_sectors)
        root_cluster = 3
        struct.pack_into('<I', v, 44, root_cluster)
        v[82:90] = b'FAT32   '
    else:
        struct.pack_into('<H', v, 22, fat_sectors)
        v[54:62] = b'FAT12   ' if bits == 12 else b'FAT16   '
    v[510:512] = b'\x55\xAA'

    fat = {0: 0xFFFFFF8, 1: 0xFFFFFFF}
    eoc = {12: 0xFFF, 16: 0xFFFF, 32: 0x0FFFFFFF}[bits]
    fat[2] = eoc  # DOCS
    docs = tree(2, 0 if bits != 32 else 3)
    docs += entry(b'SUB        ', 0x10, 4)
    fat[4] = 5    # DOCS\SUB spans two clusters
    fat[5] = eoc
    sub = entry(b'.          ', 0x10, 4) + entry(b'..         ', 0x10, 2)
    sub += long_name('A rather long name that needs three parts.doc', b'ARATHE~1DOC') + entry(b'ARATHE~1DOC', 0x20, 0, 5)
    root = tree(None, None) + entry(b'DOCS       ', 0x10, 2)
    if bits == 32:
        fat[3] = eoc
        v[data_at + (3 - 2) * csize:][:len(root)] = root
    else:
        v[root_at:root_at + len(root)] = root
    v[data_at:data_at + len(docs)] = docs
    v[data_at + 2 * csize:data_at + 2 * csize + len(sub)] = sub
    for n, value in fat.items():
        if bits == 12:
            at = fat_at + n * 3 // 2
            word = struct.unpack_from('<H', v, at)[0]
            word = (word & 0x000F) | ((value & 0xFFF) << 4) if n & 1 else (word & 0xF000) | (value & 0xFFF)
            struct.pack_into('<H', v, at, word)
        elif bits == 16:
            struct.pack_into('<H', v, fat_at + n * 2, value & 0xFFFF)
        else:
            struct.pack_into('<I', v, fat_at + n * 4, value)
    v[fat_at] = 0xF8
    return bytes(v)


def partition(table, slot, kind, start, sectors):
    e = 446 + slot * 16
    table[e + 4] = kind
    table[e + 5:e + 8] = b'\xFE\xFF\xFF'  # CHS end: head 254, sector 63
    struct.pack_into('<II', table, e + 8, start, sectors)
    table[510:512] = b'\x55\xAA'


def disk():
    fat16 = fat_volume(16)
    fat12 = fat_volume(12)
    linux_at, ntfs_at, ext_at = 63 + 20, 63 + 24, 63 + 28
    d = bytearray((ext_at + 63 + 20) * SECTOR)
    partition(d, 0, 0x06, 63, len(fat16) // SECTOR)
    partition(d, 1, 0x83, linux_at, 2)
    partition(d, 2, 0x07, ntfs_at, 2)
    partition(d, 3, 0x05, ext_at, 63 + 20)
    d[63 * SECTOR:63 * SECTOR + len(fat16)] = fat16
    d[linux_at * SECTOR:linux_at * SECTOR + 4] = b'LINU'
    n = ntfs_at * SECTOR
    d[n:n + 3] = b'\xEB\x52\x90'
    d[n + 3:n + 11] = b'NTFS    '
    struct.pack_into('<HB', d, n + 11, SECTOR, 8)
    d[n + 510:n + 512] = b'\x55\xAA'
    nested = bytearray(SECTOR)
    partition(nested, 0, 0x01, 63, len(fat12) // SECTOR)
    d[ext_at * SECTOR:ext_at * SECTOR + SECTOR] = nested
    at = (ext_at + 63) * SECTOR
    d[at:at + len(fat12)] = fat12
    return bytes(d)


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus')
    seeds = {
        'seed-fat12-long-names.img': fat_volume(12),
        'seed-fat16-long-names.img': fat_volume(16, sectors_per_cluster=2),
        'seed-fat32-long-names.img': fat_volume(32),
        'seed-disk-extended-linux-ntfs.img': disk(),
    }
    for name, data in seeds.items():
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)
    return 0


if __name__ == '__main__':
    sys.exit(main())
