#include "image/readable_descriptor.h"

#include "fsutil/delete_tree.h"
#include "platform/file.h"
#include "services/log.h"

namespace orv {

EntryDescriptor ReadEntryDescriptor(const WString& path) {
  EntryDescriptor descriptor;
  if (os::GetSecurity(path, os::kAllSecurity, descriptor.bytes) == 0) return descriptor;
  COrvLog& log = COrvLog::GetInstance();
  log.AddInfo(ORV_T("GetNamedSecurityInfo(%s) failed - begin again"), path);
  TakeOwnership(path.c_str());
  descriptor.ownershipTaken = true;
  descriptor.bytes.clear();
  if (const DWORD error = os::GetSecurity(path, os::kAllSecurity, descriptor.bytes)) {
    log.AddInfo(ORV_T("GetNamedSecurityInfo(%s) failed - %u (%8.8X)"), path, error, error);
    descriptor.bytes.clear();
  }
  return descriptor;
}

}  // namespace orv
