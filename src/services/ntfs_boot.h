// The NTFS boot sector: the sizes and places a reader of the volume starts from.
#pragma once

#include <cstdint>

#include "vantrel/types.h"

namespace orv::ntfs {

inline constexpr DWORD kBootSectorSize = 512;

struct Geometry {
  uint32_t sectorSize = 0;
  uint32_t clusterSize = 0;
  uint32_t recordSize = 0;  // bytes of one master-file-table record
  uint64_t totalClusters = 0;
  uint64_t mftCluster = 0;  // first cluster of the master file table
};

// Reads the geometry from the first 512 bytes of the volume. 1005 (not a recognised
// file system) when they are no NTFS boot sector; 1392 when a size is out of range.
DWORD ReadBootSector(const uint8_t* sector, Geometry& geometry);

}  // namespace orv::ntfs
