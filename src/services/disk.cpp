#include "services/disk.h"

#include <algorithm>
#include <cmath>

#include "platform/errors.h"
#include "platform/folder_size.h"
#include "platform/volume.h"
#include "services/disk_source.h"

namespace orv {

namespace {

// start + size without wrapping past the largest offset.
uint64_t EndOf(uint64_t start, uint64_t size) {
  return size > UINT64_MAX - start ? UINT64_MAX : start + size;
}

COrvPartition RecordOf(const PartitionFacts& facts, DWORD index, const COrvDisk& disk) {
  COrvPartition record;
  const COrvVolume volume(facts.volume);
  record.SetVolume(volume);
  record.diskSize = disk.size;
  record.diskNumber = disk.number;
  record.startingOffset = facts.offset;
  record.size = facts.size;
  record.type = facts.type;
  record.primary = facts.primary;
  record.active = facts.active;
  record.index = index;
  record.number = facts.number;
  record.recovery = volume.IsRecovery();
  record.windowsType = volume.GetVersionType();
  record.SetFileSystem(volume.GetFileSystemName());
  record.SetVolumeName(volume.GetVolumeName());
  uint64_t used = 0;
  if (volume.GetUsedSpace(used)) record.usedSpace = used;
  return record;
}

}  // namespace

bool COrvVolume::GetUsedSpace(uint64_t& used) const {
  if (facts_.haveUsedSpace) {
    used = facts_.usedSpace;
    return true;
  }
  if (facts_.folderVolume && !facts_.mountPoint.empty()) {
    used = os::FolderBytes(facts_.mountPoint);
    return true;
  }
  os::VolumeSpace space;
  if (facts_.mountPoint.empty() || os::GetFreeSpace(facts_.mountPoint, space) != 0) return false;
  used = space.total >= space.free ? space.total - space.free : 0;
  return true;
}

BOOL COrvDisk::Open(DWORD diskNumber) {
  Close();
  DiskFacts facts;
  const DWORD error = ReadDiskFacts(diskNumber, facts);
  m_Error.SetError(error);
  if (error != 0) return FALSE;
  number = diskNumber;
  name_ = facts.name;
  size = facts.size;
  sectorSize = facts.sectorSize;
  trackSize = facts.trackSize;
  cylinderSize = facts.cylinderSize;
  for (DWORD i = 0; i < facts.partitions.size(); ++i)
    found_.push_back(RecordOf(facts.partitions[i], i, *this));
  open_ = true;
  return TRUE;
}

BOOL COrvDisk::Enumerate() {
  if (!open_) {
    m_Error.SetError(err::kInvalidHandle);
    return FALSE;
  }
  partitions_.clear();
  for (const COrvPartition& partition : found_) AddPartition(partition);
  DWORD counter = 1;
  AddFreeSpaceRecords(*this, true, trackSize, size, counter);
  const COrvPartition extended = GetExtendedPartition();
  if (extended.size != 0)
    AddFreeSpaceRecords(*this, false, EndOf(extended.startingOffset, trackSize), extended.End(),
                        counter);
  m_Error.SetError(0);
  return TRUE;
}

void COrvDisk::Close() {
  open_ = false;
  found_.clear();
  partitions_.clear();
}

COrvPartition COrvDisk::GetPartitionAt(DWORD index) const {
  return index < partitions_.size() ? partitions_[index] : COrvPartition();
}

void COrvDisk::AddPartition(const COrvPartition& partition) {
  const auto place = std::upper_bound(
      partitions_.begin(), partitions_.end(), partition.startingOffset,
      [](uint64_t offset, const COrvPartition& other) { return offset < other.startingOffset; });
  partitions_.insert(place, partition);
}

void COrvDisk::AddPartitions(const std::vector<COrvPartition>& partitions) {
  partitions_.insert(partitions_.end(), partitions.begin(), partitions.end());
  std::stable_sort(partitions_.begin(), partitions_.end(),
                   [](const COrvPartition& a, const COrvPartition& b) {
                     return a.startingOffset < b.startingOffset;
                   });
}

void COrvDisk::RemovePartitionInformation(DWORD index) {
  if (index < partitions_.size()) partitions_.erase(partitions_.begin() + index);
}

void COrvDisk::RemovePartitionInformationAtOffset(uint64_t offset) {
  const auto found =
      std::find_if(partitions_.begin(), partitions_.end(),
                   [&](const COrvPartition& p) { return p.startingOffset == offset; });
  if (found != partitions_.end()) partitions_.erase(found);
}

COrvPartition COrvDisk::GetRecoveryPartition() const {
  for (const COrvPartition& partition : partitions_)
    if (partition.size != 0 && !partition.unallocated && partition.GetVolume().IsRecovery())
      return partition;
  return COrvPartition();
}

COrvPartition COrvDisk::GetExtendedPartition() const {
  for (const COrvPartition& partition : partitions_)
    if (partition.size != 0 && !partition.unallocated && partition.IsExtended()) return partition;
  return COrvPartition();
}

uint64_t COrvDisk::OffsetAt(double fraction) const {
  if (!(fraction > 0)) return 0;  // also NaN
  if (fraction >= 1) return size;
  // Rounded, so that a fraction computed from an offset gives that offset back.
  return static_cast<uint64_t>(fraction * static_cast<double>(size) + 0.5);
}

COrvPartition COrvDisk::GetPartitionAroundRelativePosition(double fraction, BOOL primary,
                                                           BOOL extended) const {
  const uint64_t offset = OffsetAt(fraction);
  const COrvPartition* after = nullptr;
  for (const COrvPartition& partition : partitions_) {
    if (partition.size == 0 || partition.unallocated) continue;
    // The extended partition is a primary entry: a primary query finds it too, so that
    // a caller learns that the space is taken by the container.
    if (extended ? !partition.IsExtended() : (partition.primary != 0) != (primary != 0)) continue;
    if (partition.startingOffset <= offset && offset < partition.End()) return partition;
    if (!after && partition.startingOffset > offset) after = &partition;
  }
  return after ? *after : COrvPartition();
}

COrvPartition COrvDisk::GetUnallocatedSpaceAtRelativePosition(double fraction) const {
  const uint64_t offset = OffsetAt(fraction);
  for (const COrvPartition& partition : partitions_)
    if (partition.size != 0 && partition.unallocated && partition.startingOffset <= offset &&
        offset < partition.End())
      return partition;
  return COrvPartition();
}

COrvPartition COrvDisk::GetUnallocatedSpaceAfterRelativePosition(double fraction) const {
  const uint64_t offset = OffsetAt(fraction);
  for (const COrvPartition& partition : partitions_)
    if (partition.size != 0 && partition.unallocated && partition.startingOffset >= offset)
      return partition;
  return COrvPartition();
}

std::vector<COrvPartition> AddFreeSpaceRecords(COrvDisk& disk, bool primary, uint64_t cursor,
                                               uint64_t end, DWORD& counter) {
  std::vector<COrvPartition> added;
  auto addGap = [&](uint64_t from, uint64_t to) {
    // Offsets are compared before they are subtracted, so that overlapping or
    // misordered records never produce a wrapped, enormous gap.
    if (to <= from || to - from <= disk.cylinderSize) return;
    COrvPartition free;
    free.unallocated = 1;
    free.primary = primary;
    free.type = 0;
    free.diskSize = disk.size;
    free.diskNumber = disk.number;
    free.number = counter++;
    free.startingOffset = from;
    free.size = to - from;
    added.push_back(free);
  };
  for (DWORD i = 0; i < disk.GetPartitionCount(); ++i) {
    const COrvPartition record = disk.GetPartitionAt(i);
    if (record.size == 0 || record.unallocated || (record.primary != 0) != primary) continue;
    addGap(cursor, std::min(record.startingOffset, end));
    cursor = std::max(cursor, EndOf(record.startingOffset, record.size));
  }
  addGap(cursor, end);
  for (const COrvPartition& free : added) disk.AddPartition(free);
  return added;
}

}  // namespace orv
