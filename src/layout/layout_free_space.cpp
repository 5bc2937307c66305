// The free-space pass of a loaded layout.
#include "layout/layout_file.h"
#include "services/log.h"

namespace orv {

namespace {

// Merges pairs of neighbouring free records of one kind whose distance is less than a
// cylinder: the first grows by the size of the second, which goes away.
void MergeFreeNeighbours(COrvDisk& disk, bool primary) {
  for (DWORD i = 0; i + 1 < disk.GetPartitionCount(); ++i) {
    COrvPartition first = disk.GetPartitionAt(i);
    const COrvPartition second = disk.GetPartitionAt(i + 1);
    if (first.size == 0 || second.size == 0 || !first.unallocated || !second.unallocated ||
        (first.primary != 0) != primary || (second.primary != 0) != primary)
      continue;
    const uint64_t end = first.End();
    if (second.startingOffset < end || second.startingOffset - end >= disk.cylinderSize) continue;
    first.size += second.size;
    disk.RemovePartitionInformation(i + 1);
    disk.RemovePartitionInformation(i);
    disk.AddPartition(first);
  }
}

void LogAdded(const std::vector<COrvPartition>& added, const Char* format) {
  for (const COrvPartition& free : added)
    COrvLog::GetInstance().AddInfo(format, free.number, free.index, free.startingOffset, free.size);
}

}  // namespace

void ComputeFreeSpace(COrvDisk& disk) {
  DWORD counter = 1;
  LogAdded(AddFreeSpaceRecords(disk, true, disk.trackSize, disk.size, counter),
           ORV_T("Primary unallocated space %d (%u) - Start: %I64u - Size: %I64u"));
  MergeFreeNeighbours(disk, true);
  const COrvPartition extended = disk.GetExtendedPartition();
  if (extended.size == 0) return;
  const uint64_t start = extended.startingOffset + disk.trackSize < extended.startingOffset
                             ? extended.End()
                             : extended.startingOffset + disk.trackSize;
  LogAdded(AddFreeSpaceRecords(disk, false, start, extended.End(), counter),
           ORV_T("Logical unallocated space %d (%u) - Start: %I64u - Size: %I64u"));
  MergeFreeNeighbours(disk, false);
}

}  // namespace orv
