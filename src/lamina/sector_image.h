// The sector image: the used sectors of one partition in a file of our own layout.
//
//   offset  size  field (little-endian)
//        0     8  "!XSSXSS!"
//        8     4  layout version, 1
//       12     4  sector size in bytes (a power of two, 512 to 65,536)
//       16     8  partition size in bytes (a multiple of the sector size)
//       24     8  data offset: where byte 0 of the partition lies in the image
//       32     8  number of extents in the table
//       40     8  part size in bytes (0: the image is one file)
//       48    16  reserved, zero
//       64  16×n  extent table: first byte and length of each used stretch of the
//                 partition, ascending, apart, inside the partition, in whole sectors
//
// Byte b of the partition lies at image offset (data offset + b); what no extent covers
// is a hole that reads as zeros. The image is (data offset + partition size) bytes long
// and cut into parts of the part size: the named file, then <base>_0001<ext>, ... .
#pragma once

#include <cstdint>
#include <vector>

#include "vantrel/types.h"

namespace orv::lamina {

inline constexpr uint8_t kSectorImageMark[8] = {'!', 'X', 'S', 'S', 'X', 'S', 'S', '!'};
inline constexpr DWORD kSectorImageHeaderSize = 64;
inline constexpr DWORD kExtentEntrySize = 16;
// The data starts on a boundary of this size, so that a loop device can take it at an
// offset and the holes of a sparse file line up with the blocks of the file system.
inline constexpr uint64_t kDataAlignment = 1 << 20;

struct Extent {
  uint64_t offset = 0;
  uint64_t length = 0;
};

struct SectorImageHeader {
  uint32_t sectorSize = 512;
  uint64_t partitionSize = 0;
  uint64_t dataOffset = 0;
  uint64_t partSize = 0;
  std::vector<Extent> extents;

  uint64_t ImageSize() const { return dataOffset + partitionSize; }
};

// The data offset for a table of that many extents.
uint64_t DataOffsetFor(uint64_t extentCount);
// The header and its table, as stored.
std::vector<uint8_t> EncodeHeader(const SectorImageHeader& header);

// Tables longer than this are refused before any memory is taken for them.
inline constexpr uint64_t kMaxExtents = uint64_t{1} << 24;

// Reads the fixed fields from the first 64 bytes. 13 when they are no sector image or a
// field is out of range, or the table would not fit before the data. Whether the files
// hold ImageSize() bytes is the reader's to check.
DWORD DecodeFixedFields(const uint8_t* bytes, SectorImageHeader& header, uint64_t& extentCount);
// Reads the table (extentCount × 16 bytes) into `header`; 13 when an extent is out of
// order, overlaps, leaves the partition or is not in whole sectors.
DWORD DecodeExtents(const uint8_t* table, uint64_t extentCount, SectorImageHeader& header);

}  // namespace orv::lamina
