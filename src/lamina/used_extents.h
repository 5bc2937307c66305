// Which stretches of a volume hold data: for NTFS the clusters its $Bitmap marks (and
// the bytes past the last cluster, where the backup boot sector lies); for any other
// file system, or none, the whole volume.
#pragma once

#include <vector>

#include "lamina/sector_image.h"
#include "platform/raw_volume.h"

namespace orv::lamina {

struct VolumeUse {
  uint32_t sectorSize = 512;
  uint64_t size = 0;  // in whole sectors
  std::vector<Extent> used;
};

// `raw` is the open volume at `root`. 1392 when the NTFS structures are damaged (a
// bitmap shorter than the volume's clusters included); else the code of the read.
DWORD ReadVolumeUse(WStringView root, os::RawVolume& raw, VolumeUse& use);

}  // namespace orv::lamina
