#include "services/ntfs_boot.h"

#include <cstring>

#include "platform/errors.h"
#include "services/ntfs_bytes.h"

namespace orv::ntfs {

namespace {

constexpr DWORD kUnrecognizedVolume = 1005;
constexpr uint32_t kMaxClusterSize = 2 * 1024 * 1024;
// Records are fixed up in strides of 512 bytes and never exceed 64 KiB.
constexpr uint32_t kMinRecordSize = 512;
constexpr uint32_t kMaxRecordSize = 64 * 1024;
// Byte offsets on the volume must fit in 63 bits with room for a cluster's worth.
constexpr uint64_t kMaxVolumeBytes = uint64_t{1} << 62;

// A size given as a signed byte: positive counts units, negative is a power of two.
uint64_t UnitsOrPower(int8_t value, uint64_t unit) {
  if (value > 0) return static_cast<uint64_t>(value) * unit;
  const int shift = -static_cast<int>(value);
  return shift < 32 ? uint64_t{1} << shift : 0;
}

}  // namespace

DWORD ReadBootSector(const uint8_t* sector, Geometry& geometry) {
  if (std::memcmp(sector + 3, "NTFS    ", 8) != 0 || sector[510] != 0x55 || sector[511] != 0xAA)
    return kUnrecognizedVolume;
  const uint32_t sectorSize = LoadLE<uint16_t>(sector + 0x0B);
  if (!IsPowerOfTwo(sectorSize) || sectorSize < 256 || sectorSize > 4096) return err::kFileCorrupt;
  // Sectors per cluster: a count up to 128, else a power of two given as 256 - shift.
  const uint8_t perCluster = sector[0x0D];
  const uint64_t clusterSize =
      perCluster <= 0x80 ? uint64_t{perCluster} * sectorSize
                         : UnitsOrPower(static_cast<int8_t>(perCluster), 1) * sectorSize;
  if (!IsPowerOfTwo(clusterSize) || clusterSize > kMaxClusterSize) return err::kFileCorrupt;
  const uint64_t totalSectors = LoadLE<uint64_t>(sector + 0x28);
  const uint64_t totalClusters = totalSectors / (clusterSize / sectorSize);
  const uint64_t mftCluster = LoadLE<uint64_t>(sector + 0x30);
  const uint64_t recordSize = UnitsOrPower(static_cast<int8_t>(sector[0x40]), clusterSize);
  if (totalClusters == 0 || totalClusters > kMaxVolumeBytes / clusterSize ||
      mftCluster >= totalClusters || !IsPowerOfTwo(recordSize) || recordSize < kMinRecordSize ||
      recordSize > kMaxRecordSize)
    return err::kFileCorrupt;
  geometry = Geometry{sectorSize, static_cast<uint32_t>(clusterSize),
                      static_cast<uint32_t>(recordSize), totalClusters, mftCluster};
  return err::kSuccess;
}

}  // namespace orv::ntfs
