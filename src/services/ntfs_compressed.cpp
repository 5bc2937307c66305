#include "services/ntfs_compressed.h"

#include <cstring>

#include "platform/errors.h"
#include "services/ntfs_lznt1.h"

namespace orv::ntfs {

DWORD ReadCompressedUnit(Volume& volume, const FileData& data, uint64_t unit,
                         std::vector<uint8_t>& stored, uint8_t* out) {
  const uint64_t clusterSize = volume.geometry().clusterSize;
  const uint64_t firstVcn = unit * data.unitClusters;
  const DWORD unitBytes = static_cast<DWORD>(data.unitClusters * clusterSize);
  const uint64_t allocated = AllocatedClusters(data.extents, firstVcn, data.unitClusters);
  if (allocated == 0) {
    std::memset(out, 0, unitBytes);
    return err::kSuccess;
  }
  // A unit that compression could not shrink keeps its content as it is.
  if (allocated == data.unitClusters)
    return volume.ReadExtents(data.extents, firstVcn * clusterSize, out, unitBytes);
  stored.resize(static_cast<size_t>(allocated * clusterSize));
  if (DWORD error = volume.ReadExtents(data.extents, firstVcn * clusterSize, stored.data(),
                                       static_cast<DWORD>(stored.size())))
    return error;
  size_t produced = 0;
  if (DWORD error = DecompressLznt1(stored.data(), stored.size(), out, unitBytes, produced))
    return error;
  std::memset(out + produced, 0, unitBytes - produced);
  return err::kSuccess;
}

}  // namespace orv::ntfs
