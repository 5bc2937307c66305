#include "lamina/used_extents.h"

#include <algorithm>

#include "platform/errors.h"
#include "services/ntfs_boot.h"
#include "services/ntfs_file.h"
#include "services/ntfs_volume.h"

namespace orv::lamina {

namespace {

constexpr uint64_t kBitmapRecord = 6;
constexpr DWORD kBitmapChunk = 1 << 20;

void AddExtent(std::vector<Extent>& extents, uint64_t offset, uint64_t length) {
  if (length == 0) return;
  if (!extents.empty() && extents.back().offset + extents.back().length == offset)
    extents.back().length += length;
  else
    extents.push_back({offset, length});
}

// The clusters the bitmap marks, as byte stretches, then the tail past the last cluster.
DWORD ReadNtfsUse(WStringView root, VolumeUse& use) {
  ntfs::Volume volume;
  if (const DWORD error = volume.Open(root)) return error;
  const ntfs::Geometry& geometry = volume.geometry();
  const uint64_t clusters = geometry.totalClusters;
  const uint64_t clusterSize = geometry.clusterSize;
  if (clusters > use.size / clusterSize) return err::kFileCorrupt;
  std::vector<uint8_t> record;
  if (const DWORD error = volume.ReadRecord(kBitmapRecord, record)) return error;
  ntfs::FileData data;
  if (const DWORD error = ntfs::LocateFileData(record, clusters, geometry.clusterSize, data))
    return error == err::kFileNotFound ? err::kFileCorrupt : error;
  const uint64_t bitmapBytes = (clusters + 7) / 8;
  if (data.size < bitmapBytes || (data.resident && data.value.size() < bitmapBytes))
    return err::kFileCorrupt;

  use.sectorSize = geometry.sectorSize;
  use.size -= use.size % use.sectorSize;
  std::vector<uint8_t> chunk;
  uint64_t runStart = 0;
  bool inRun = false;
  for (uint64_t offset = 0; offset < bitmapBytes; offset += chunk.size()) {
    const DWORD length = static_cast<DWORD>(std::min<uint64_t>(kBitmapChunk, bitmapBytes - offset));
    if (data.resident) {
      chunk.assign(data.value.begin() + static_cast<ptrdiff_t>(offset),
                   data.value.begin() + static_cast<ptrdiff_t>(offset + length));
    } else {
      chunk.resize(length);
      if (const DWORD error = volume.ReadExtents(data.extents, offset, chunk.data(), length))
        return error;
    }
    for (DWORD byte = 0; byte < length; ++byte) {
      for (int bit = 0; bit < 8; ++bit) {
        const uint64_t cluster = (offset + byte) * 8 + static_cast<uint64_t>(bit);
        if (cluster >= clusters) break;
        const bool used = (chunk[byte] >> bit) & 1;
        if (used && !inRun) runStart = cluster;
        if (!used && inRun)
          AddExtent(use.used, runStart * clusterSize, (cluster - runStart) * clusterSize);
        inRun = used;
      }
    }
  }
  if (inRun) AddExtent(use.used, runStart * clusterSize, (clusters - runStart) * clusterSize);
  const uint64_t tail = clusters * clusterSize;
  if (tail < use.size) AddExtent(use.used, tail, use.size - tail);
  return err::kSuccess;
}

}  // namespace

DWORD ReadVolumeUse(WStringView root, os::RawVolume& raw, VolumeUse& use) {
  use = VolumeUse{};
  if (const DWORD error = raw.Size(use.size)) return error;
  uint8_t boot[ntfs::kBootSectorSize];
  ntfs::Geometry geometry;
  if (use.size >= sizeof(boot) && raw.Read(0, boot, sizeof(boot)) == 0) {
    // An NTFS boot sector with sizes out of range is damaged, not another file system.
    const DWORD error = ntfs::ReadBootSector(boot, geometry);
    if (error == 0) return ReadNtfsUse(root, use);
    if (error == err::kFileCorrupt) return error;
  }
  use.size -= use.size % use.sectorSize;
  AddExtent(use.used, 0, use.size);
  return err::kSuccess;
}

}  // namespace orv::lamina
