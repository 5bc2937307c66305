#include "services/ntfs.h"

namespace orv {

TableCopy CopyThroughTable(WStringView root, WStringView path, WStringView target) {
  TableCopy result;
  COrvNtfs ntfs;
  if (!ntfs.OpenVolume(root)) {
    result.failedAt = TableCopy::Step::kOpenVolume;
    result.error = ntfs.GetLastErrorCode();
    return result;
  }
  result.reference = ntfs.GetFileReferenceNumber(path);
  if (!ntfs.CopyFileMFT(result.reference, target)) {
    result.failedAt = TableCopy::Step::kCopy;
    result.error = ntfs.GetLastErrorCode();
  }
  ntfs.CloseVolume();
  return result;
}

}  // namespace orv
