// Field offsets of a volume's boot sector (BIOS parameter block and the type texts), shared by
// detection and the walk. Multi-byte fields are little-endian; sizes in the comments.
#pragma once

#include <cstddef>

namespace oculo {

constexpr size_t kBootSectorBytes = 512;
constexpr size_t kBsOemName = 3;             // 8 bytes ("NTFS    " on NTFS)
constexpr size_t kBpbBytesPerSector = 11;    // 16 bits
constexpr size_t kBpbSectorsPerCluster = 13;
constexpr size_t kBpbReservedSectors = 14;   // 16 bits
constexpr size_t kBpbNumFats = 16;
constexpr size_t kBpbRootEntries = 17;       // 16 bits
constexpr size_t kBpbTotalSectors16 = 19;    // 16 bits
constexpr size_t kBpbMedia = 21;
constexpr size_t kBpbSectorsPerFat16 = 22;   // 16 bits
constexpr size_t kBpbTotalSectors32 = 32;    // 32 bits
constexpr size_t kBpbSectorsPerFat32 = 36;   // 32 bits, FAT32 only
constexpr size_t kBpbRootCluster = 44;       // 32 bits, FAT32 only
constexpr size_t kBsFat16TypeDigits = 57;    // digits of "FAT12   " / "FAT16   " at 54
constexpr size_t kBsFat32TypeDigits = 85;    // digits of "FAT32   " at 82
constexpr size_t kBsSignature = 510;         // 0x55 0xAA, also ends a partition table sector

}  // namespace oculo
