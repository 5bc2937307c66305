#include "layout/mrl_comparison.h"

#include <set>

#include "layout/layout_file.h"
#include "layout/reajust.h"
#include "platform/errors.h"
#include "services/log.h"

namespace orv {

namespace {

constexpr uint64_t kUsedSpaceMargin = 16 * 1024 * 1024;

uint64_t WithMargin(uint64_t used) {
  return used > UINT64_MAX - kUsedSpaceMargin ? UINT64_MAX : used + kUsedSpaceMargin;
}

bool IsExtended(const COrvPartition& p) { return p.IsExtended(); }

void CopyText(ORVCHAR (&target)[260], WStringView text) {
  const size_t count = text.size() < 259 ? text.size() : 259;
  text.copy(target, count);
  target[count] = 0;
}

// The free-space record that the reservation of a stored partition leaves behind.
COrvPartition FreeRecord(const COrvDisk& disk, uint64_t start, uint64_t size, DWORD primary) {
  COrvPartition free;
  free.type = 0;
  free.unallocated = 1;
  free.diskSize = disk.size;
  free.diskNumber = disk.number;
  free.primary = primary;
  free.startingOffset = start;
  free.size = size;
  return free;
}

// Takes the free space for a stored partition, so that later ones cannot take it too.
void Reserve(COrvDisk& working, const COrvPartition& free, COrvPartition stored) {
  working.RemovePartitionInformationAtOffset(free.startingOffset);
  if (stored.startingOffset >= free.startingOffset &&
      stored.startingOffset - free.startingOffset >= working.cylinderSize)
    working.AddPartition(FreeRecord(working, free.startingOffset,
                                    stored.startingOffset - free.startingOffset, free.primary));
  stored.diskSize = working.size;
  stored.diskNumber = working.number;
  working.AddPartition(stored);
  if (free.End() >= stored.End() && free.End() - stored.End() >= working.cylinderSize)
    working.AddPartition(
        FreeRecord(working, stored.End(), free.End() - stored.End(), free.primary));
  const uint64_t logicalStart = stored.startingOffset + working.trackSize;
  if (IsExtended(stored) && logicalStart >= stored.startingOffset && stored.End() > logicalStart)
    working.AddPartition(FreeRecord(working, logicalStart, stored.End() - logicalStart, 0));
}

}  // namespace

BOOL COrvMrlComparison::OpenComparison(DWORD dwDiskIndex, LPCTSTR pstrLayoutFile, int nDiskNumber) {
  COrvLog& log = COrvLog::GetInstance();
  log.EnterFunction(ORV_T("BOOL COrvMrlComparison::OpenComparison(DWORD dwDiskIndex=%u,LPCTSTR "
                          "pstrLayoutFile=%s,int nDiskNumber=%d)"),
                    dwDiskIndex, pstrLayoutFile, nDiskNumber);
  // A layout file is data from outside: whatever it holds, no exception leaves here.
  return log.ExitFunction(Guarded([&] {
    return Compare(dwDiskIndex, pstrLayoutFile ? pstrLayoutFile : ORV_T(""), nDiskNumber);
  }));
}

BOOL COrvMrlComparison::Compare(DWORD diskIndex, WStringView layoutFile, int diskNumber) {
  COrvLog& log = COrvLog::GetInstance();
  COrvDisk current;
  if (!current.Open(diskIndex)) {
    const DWORD error = current.GetLastErrorCode();
    m_Error.SetError(error);
    log.AddInfo(ORV_T("Cannot Open disk %d - %u (%8.8X)"), diskIndex, error, error);
    return FALSE;
  }
  if (!current.Enumerate()) {
    const DWORD error = current.GetLastErrorCode();
    m_Error.SetError(error);
    log.AddInfo(ORV_T("Cannot Enumerate disk %d - %u (%8.8X)"), diskIndex, error, error);
    current.Close();
    return FALSE;
  }

  COrvDisk working;
  for (COrvDisk* disk : {&working, &result_}) {
    disk->number = current.number;
    disk->size = current.size;
    disk->cylinderSize = current.cylinderSize;
    disk->trackSize = current.trackSize;
    disk->sectorSize = current.sectorSize;
  }
  for (DWORD i = 0; i < current.GetPartitionCount(); ++i) {
    COrvPartition partition = current.GetPartitionAt(i);
    partition.diskSize = current.size;
    partition.diskNumber = current.number;
    working.AddPartition(partition);
  }

  COrvDisk layout;
  LoadLayout(layoutFile, diskNumber, m_Error, layout);
  layout.cylinderSize = current.cylinderSize;
  layout.trackSize = current.trackSize;
  layout.sectorSize = current.sectorSize;
  ReajustRP(current, layout);

  std::set<DWORD> matched;
  std::set<uint64_t> reserved;  // starts of stored partitions placed into free space
  for (DWORD i = 0; i < layout.GetPartitionCount(); ++i) {
    COrvPartition stored = layout.GetPartitionAt(i);
    if (stored.unallocated) continue;
    const double position = layout.size == 0 ? 0.0
                                             : static_cast<double>(stored.startingOffset) * 100.0 /
                                                   static_cast<double>(layout.size) / 100.0;
    log.AddInfo(ORV_T("Partition to find is a RP? %u"), stored.recovery);
    COrvPartition candidate =
        working.GetPartitionAroundRelativePosition(position, stored.primary, IsExtended(stored));

    bool match = candidate.size != 0 && !matched.count(candidate.number) &&
                 !reserved.count(candidate.startingOffset);
    if (match && !stored.fixed) {
      match = WithMargin(stored.usedSpace) < candidate.size;
      if (match)
        log.AddInfo(ORV_T("Partition found is a RP? %u"), candidate.GetVolume().IsRecovery());
    }
    match = match && (candidate.GetVolume().IsRecovery() != 0) == (stored.recovery != 0);

    if (match) {
      matched.insert(candidate.number);
      candidate.number = stored.number;
      candidate.diskNumber = stored.diskNumber;
      candidate.index = stored.index;
      const COrvVolume& volume = candidate.GetVolume();
      if (IsExtended(candidate)) {
        candidate.status = IsExtended(stored) ? kMatchFormatted : kNoPlace;
      } else {
        candidate.recovery = stored.recovery ? volume.IsRecovery() : 0;
        candidate.windowsType =
            volume.GetVersionType() != -1 ? volume.GetVersionType() : stored.windowsType;
        candidate.usedSpace = stored.usedSpace;
        if (!volume.GetVolumeName().empty()) candidate.SetVolumeName(volume.GetVolumeName());
        if (!volume.GetFileSystemName().empty())
          candidate.SetFileSystem(volume.GetFileSystemName());
        if (stored.recovery && !candidate.recovery)
          candidate.status = kNoPlace;
        else
          candidate.status = volume.IsFormated() ? kMatchFormatted : kMatchUnformatted;
      }
      log.AddInfo(ORV_T("OpenComparison: Partition %d (%u) - Start: %I64u - Size: %I64u - Type: "
                        "%2.2X - Status: %u - RP: %u - UP: %u"),
                  candidate.number, candidate.index, candidate.startingOffset, candidate.size,
                  candidate.type, candidate.status, candidate.recovery,
                  static_cast<DWORD>(candidate.windowsType != -1));
      result_.AddPartition(candidate);
      continue;
    }

    COrvPartition free = working.GetUnallocatedSpaceAtRelativePosition(position);
    if (free.size == 0) free = working.GetUnallocatedSpaceAfterRelativePosition(position);
    const bool fits = free.size != 0 && (stored.fixed ? stored.size < free.size
                                                      : WithMargin(stored.usedSpace) < free.size);
    stored.status = fits ? kFitsFreeSpace : kNoPlace;
    stored.diskSize = result_.size;
    stored.diskNumber = result_.number;
    log.AddInfo(ORV_T("OpenComparison: Partition %d (%u) - Start: %I64u - Size: %I64u - Type: "
                      "%2.2X - Status: %u"),
                stored.number, stored.index, stored.startingOffset, stored.size, stored.type,
                stored.status);
    result_.AddPartition(stored);
    if (fits) {
      Reserve(working, free, stored);
      reserved.insert(stored.startingOffset);
    }
  }

  current.Close();
  working.Close();
  layout.Close();
  m_Error.SetError(0);
  cursor_ = 0;
  return TRUE;
}

BOOL COrvMrlComparison::GetFirstPartition(LPLAYOUTPARTITIONDATA pData) {
  if (!pData) {
    m_Error.SetError(err::kInvalidParameter);
    return FALSE;
  }
  cursor_ = 0;
  return Fill(pData);
}

BOOL COrvMrlComparison::GetNextPartition(LPLAYOUTPARTITIONDATA pData) {
  if (!pData) {
    m_Error.SetError(err::kInvalidParameter);
    return FALSE;
  }
  if (cursor_ < result_.GetPartitionCount()) ++cursor_;
  return Fill(pData);
}

BOOL COrvMrlComparison::Fill(LPLAYOUTPARTITIONDATA data) {
  if (cursor_ >= result_.GetPartitionCount()) {
    m_Error.SetError(err::kNoMoreItems);
    return FALSE;
  }
  const COrvPartition record = result_.GetPartitionAt(cursor_);
  data->ullDiskSize = record.diskSize;
  data->ullStartingOffset = record.startingOffset;
  data->ullSize = record.size;
  data->ullUsedSpace = record.usedSpace;
  CopyText(data->szFileSystemName, record.GetFileSystem());
  CopyText(data->szVolumeName, record.GetVolumeName());
  const bool mounted = (record.status == kMatchFormatted || record.status == kMatchUnformatted) &&
                       !record.IsExtended();
  CopyText(data->szMountPoint, mounted ? record.GetVolume().GetVolumeMountPoint() : WString());
  data->byType = record.type;
  data->dwActive = record.active;
  data->dwUnallocated = record.unallocated;
  data->dwPrimary = record.primary;
  data->dwFixed = record.fixed;
  data->dwIndex = record.index;
  data->dwNumber = record.number;
  data->dwDiskNumber = record.diskNumber;
  data->dwStatus = record.status;
  data->dwRecovery = record.recovery;
  data->lWindowsType = record.windowsType;
  m_Error.SetError(0);
  return TRUE;
}

void COrvMrlComparison::Close() { result_.Close(); }

}  // namespace orv
