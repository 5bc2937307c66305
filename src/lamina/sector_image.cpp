#include "lamina/sector_image.h"

#include <cstring>

#include "platform/errors.h"
#include "platform/little_endian.h"

namespace orv::lamina {

namespace {

constexpr uint32_t kVersion = 1;
constexpr uint32_t kMinSector = 512;
constexpr uint32_t kMaxSector = 65536;

bool IsPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

}  // namespace

uint64_t DataOffsetFor(uint64_t extentCount) {
  const uint64_t table = kSectorImageHeaderSize + extentCount * kExtentEntrySize;
  return (table + kDataAlignment - 1) / kDataAlignment * kDataAlignment;
}

std::vector<uint8_t> EncodeHeader(const SectorImageHeader& header) {
  std::vector<uint8_t> bytes(kSectorImageMark, kSectorImageMark + 8);
  AppendLE<uint32_t>(bytes, kVersion);
  AppendLE<uint32_t>(bytes, header.sectorSize);
  AppendLE<uint64_t>(bytes, header.partitionSize);
  AppendLE<uint64_t>(bytes, header.dataOffset);
  AppendLE<uint64_t>(bytes, header.extents.size());
  AppendLE<uint64_t>(bytes, header.partSize);
  bytes.resize(kSectorImageHeaderSize, 0);
  for (const Extent& extent : header.extents) {
    AppendLE<uint64_t>(bytes, extent.offset);
    AppendLE<uint64_t>(bytes, extent.length);
  }
  return bytes;
}

DWORD DecodeFixedFields(const uint8_t* bytes, SectorImageHeader& header, uint64_t& extentCount) {
  if (std::memcmp(bytes, kSectorImageMark, 8) != 0) return err::kInvalidData;
  if (LoadLE<uint32_t>(bytes + 8) != kVersion) return err::kInvalidData;
  header.sectorSize = LoadLE<uint32_t>(bytes + 12);
  header.partitionSize = LoadLE<uint64_t>(bytes + 16);
  header.dataOffset = LoadLE<uint64_t>(bytes + 24);
  extentCount = LoadLE<uint64_t>(bytes + 32);
  header.partSize = LoadLE<uint64_t>(bytes + 40);
  header.extents.clear();
  if (!IsPowerOfTwo(header.sectorSize) || header.sectorSize < kMinSector ||
      header.sectorSize > kMaxSector)
    return err::kInvalidData;
  if (header.partitionSize == 0 || header.partitionSize % header.sectorSize != 0)
    return err::kInvalidData;
  if (header.dataOffset < kSectorImageHeaderSize || header.dataOffset % kMinSector != 0)
    return err::kInvalidData;
  // The table lies between the fixed fields and the data; the data within the files.
  if (extentCount > kMaxExtents ||
      extentCount > (header.dataOffset - kSectorImageHeaderSize) / kExtentEntrySize)
    return err::kInvalidData;
  if (header.partitionSize > ~uint64_t{0} - header.dataOffset) return err::kInvalidData;
  return err::kSuccess;
}

DWORD DecodeExtents(const uint8_t* table, uint64_t extentCount, SectorImageHeader& header) {
  uint64_t end = 0;
  for (uint64_t i = 0; i < extentCount; ++i) {
    Extent extent{LoadLE<uint64_t>(table + i * kExtentEntrySize),
                  LoadLE<uint64_t>(table + i * kExtentEntrySize + 8)};
    if (extent.length == 0 || extent.offset < end || extent.offset > header.partitionSize ||
        extent.length > header.partitionSize - extent.offset ||
        extent.offset % header.sectorSize != 0 || extent.length % header.sectorSize != 0)
      return err::kInvalidData;
    end = extent.offset + extent.length;
    header.extents.push_back(extent);
  }
  return err::kSuccess;
}

}  // namespace orv::lamina
