// COrvMrlComparison: compares the partition layout stored in an image (MRL.XML) with a
// disk and tells, for each stored partition, whether a partition of the disk or its
// free space can take it.
#pragma once

#include "frame/implementation.h"
#include "services/disk.h"

namespace orv {

// Status of a result record.
inline constexpr DWORD kMatchFormatted = 1;    // a matching partition, formatted (or both extended)
inline constexpr DWORD kMatchUnformatted = 2;  // a matching partition, not formatted
inline constexpr DWORD kFitsFreeSpace = 4;     // free space at its position can take it
inline constexpr DWORD kNoPlace = 8;           // nothing can take it

class COrvMrlComparison final : public COrvImplementation<IOrvMrlComparison, COrvMrlComparison> {
 public:
  BOOL GetFirstPartition(LPLAYOUTPARTITIONDATA pData) override;
  BOOL GetNextPartition(LPLAYOUTPARTITIONDATA pData) override;
  void Close() override;
  BOOL OpenComparison(DWORD dwDiskIndex, LPCTSTR pstrLayoutFile, int nDiskNumber) override;

 private:
  BOOL Compare(DWORD diskIndex, WStringView layoutFile, int diskNumber);
  BOOL Fill(LPLAYOUTPARTITIONDATA data);

  COrvDisk result_;
  DWORD cursor_ = 0;
};

}  // namespace orv
