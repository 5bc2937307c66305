#include "services/ntfs_runs.h"

#include <algorithm>
#include <iterator>

#include "platform/errors.h"

namespace orv::ntfs {

DWORD DecodeRuns(const Attribute& attribute, uint64_t totalClusters,
                 std::vector<Extent>& extents) {
  if (!attribute.nonResident || attribute.lastVcn < attribute.firstVcn ||
      attribute.lastVcn >= totalClusters)
    return err::kFileCorrupt;
  const uint64_t endVcn = attribute.lastVcn + 1;
  uint64_t vcn = attribute.firstVcn;
  int64_t lcn = 0;
  uint32_t at = 0;
  // Each run takes at least one byte of the attribute, so the loop ends with it.
  while (at < attribute.runsSize && attribute.runs[at] != 0) {
    const uint8_t header = attribute.runs[at++];
    const uint32_t lengthBytes = header & 0x0F, offsetBytes = header >> 4;
    if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8 ||
        lengthBytes + offsetBytes > attribute.runsSize - at)
      return err::kFileCorrupt;
    uint64_t length = 0;
    for (uint32_t i = 0; i < lengthBytes; ++i)
      length |= uint64_t{attribute.runs[at + i]} << (8 * i);
    at += lengthBytes;
    if (length == 0 || length > endVcn - vcn) return err::kFileCorrupt;
    Extent extent{vcn, 0, length, offsetBytes == 0};
    if (!extent.sparse) {
      // The offset is signed and relative to the previous run's first cluster.
      uint64_t delta = 0;
      for (uint32_t i = 0; i < offsetBytes; ++i)
        delta |= uint64_t{attribute.runs[at + i]} << (8 * i);
      if (offsetBytes < 8 && (attribute.runs[at + offsetBytes - 1] & 0x80))
        delta |= ~uint64_t{0} << (8 * offsetBytes);
      const int64_t step = static_cast<int64_t>(delta);
      // Both values are bounded by the volume, so the sum cannot overflow once checked.
      if (step > static_cast<int64_t>(totalClusters) ||
          step < -static_cast<int64_t>(totalClusters))
        return err::kFileCorrupt;
      lcn += step;
      if (lcn < 0 || static_cast<uint64_t>(lcn) >= totalClusters ||
          length > totalClusters - static_cast<uint64_t>(lcn))
        return err::kFileCorrupt;
      extent.lcn = static_cast<uint64_t>(lcn);
    }
    at += offsetBytes;
    extents.push_back(extent);
    vcn += length;
  }
  return err::kSuccess;
}

uint64_t CoveredClusters(const std::vector<Extent>& extents) {
  uint64_t next = 0;
  for (const Extent& extent : extents) {
    if (extent.vcn != next) return 0;
    next += extent.length;
  }
  return next;
}

namespace {

// The first extent that could hold `vcn` or a later cluster: the one holding it, else the
// next one. Extents are in cluster order.
std::vector<Extent>::const_iterator FirstFrom(const std::vector<Extent>& extents, uint64_t vcn) {
  auto after = std::upper_bound(extents.begin(), extents.end(), vcn,
                                [](uint64_t cluster, const Extent& e) { return cluster < e.vcn; });
  if (after != extents.begin() && vcn - std::prev(after)->vcn < std::prev(after)->length)
    return std::prev(after);
  return after;
}

}  // namespace

const Extent* FindExtent(const std::vector<Extent>& extents, uint64_t vcn) {
  const auto found = FirstFrom(extents, vcn);
  if (found == extents.end() || vcn < found->vcn || vcn - found->vcn >= found->length)
    return nullptr;
  return &*found;
}

uint64_t AllocatedClusters(const std::vector<Extent>& extents, uint64_t vcn, uint64_t count) {
  uint64_t allocated = 0;
  const uint64_t end = vcn + count;
  for (auto extent = FirstFrom(extents, vcn); extent != extents.end() && extent->vcn < end;
       ++extent) {
    if (extent->sparse) continue;
    const uint64_t from = std::max(vcn, extent->vcn);
    const uint64_t to = std::min(end, extent->vcn + extent->length);
    if (from < to) allocated += to - from;
  }
  return allocated;
}

}  // namespace orv::ntfs
