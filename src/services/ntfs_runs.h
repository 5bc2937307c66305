// Data runs: where the clusters of a non-resident attribute lie on the volume.
#pragma once

#include <cstdint>
#include <vector>

#include "services/ntfs_record.h"

namespace orv::ntfs {

struct Extent {
  uint64_t vcn = 0;     // first cluster of the stretch within the attribute
  uint64_t lcn = 0;     // first cluster on the volume; unused when sparse
  uint64_t length = 0;  // clusters
  bool sparse = false;  // no clusters on the volume: the stretch reads as zeros
};

// Decodes the runs of `attribute` and appends them to `extents`. The runs must start at
// the attribute's first cluster, stay on a volume of `totalClusters` clusters and end no
// later than its last cluster. 1392 otherwise.
DWORD DecodeRuns(const Attribute& attribute, uint64_t totalClusters,
                 std::vector<Extent>& extents);

// The clusters the extents cover, counted from cluster 0 without a gap (0 when the
// first does not start there or when they leave a gap).
uint64_t CoveredClusters(const std::vector<Extent>& extents);

// The extent that holds cluster `vcn` of the attribute, found by bisection (the extents
// are in cluster order, as DecodeRuns gives them); null when none does.
const Extent* FindExtent(const std::vector<Extent>& extents, uint64_t vcn);

// How many of the `count` clusters from `vcn` on lie on the volume (not sparse).
uint64_t AllocatedClusters(const std::vector<Extent>& extents, uint64_t vcn, uint64_t count);

}  // namespace orv::ntfs
