#include "image/change_rules.h"

#include "image/capture_paths.h"
#include "platform/case_fold.h"

namespace orv {

namespace {

constexpr int64_t kHour = 3600;
constexpr int64_t kDay = 86400;

uint64_t Distance(int64_t a, int64_t b) {
  return a > b ? static_cast<uint64_t>(a) - static_cast<uint64_t>(b)
               : static_cast<uint64_t>(b) - static_cast<uint64_t>(a);
}

}  // namespace

DWORD FileChange(uint64_t referenceSize, int64_t referenceTime, uint64_t size, int64_t time) {
  uint64_t distance = Distance(time, referenceTime);
  // More than a day of whole hours is no time-zone shift.
  if (distance % kHour == 0 && distance > kDay) distance = 1;
  if (distance % kHour == 0 || distance == 5) return size == referenceSize ? kUnchanged : kModified;
  return kModified;
}

DWORD ReparseFolderChange(int64_t referenceTime, int64_t time) {
  return Distance(time, referenceTime) % kHour == 0 ? kUnchanged : kModified;
}

bool IsLeftOutOfScan(WStringView fullPath) {
  if (fullPath.size() >= kMaxCapturedPath) return true;
  for (const Char* part : {ORV_T(":\\system volume information"), ORV_T(":\\system recovery"),
                           ORV_T(":\\pagefile.sys"), ORV_T(":\\hiberfil.sys"),
                           ORV_T(":\\$recycle.bin"), ORV_T(":\\recycler"), ORV_T(":\\$ntfs.log"),
                           ORV_T(":\\pf.sys")})
    if (os::ContainsNoCase(fullPath, part)) return true;
  return false;
}

}  // namespace orv
