// Reading the content of a compressed NTFS stream one compression unit at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "services/ntfs_file.h"
#include "services/ntfs_volume.h"

namespace orv::ntfs {

// The content of compression unit `unit` of `data` (whose unitClusters is set) into
// `out`, room for unitClusters clusters. `stored` is scratch room for the unit's stored
// clusters. 1392 when the stored chunks are damaged.
DWORD ReadCompressedUnit(Volume& volume, const FileData& data, uint64_t unit,
                         std::vector<uint8_t>& stored, uint8_t* out);

}  // namespace orv::ntfs
