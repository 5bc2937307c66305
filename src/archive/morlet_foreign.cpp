// Types 3 and 4, files the archive object recognises but does not read itself: a
// virtual-disk image and a WIM file. Both are read by mounting them. This build carries
// no virtual-disk library, and mounts no WIM image yet: Open refuses them with the code
// of the missing component (13 for the virtual-disk library, the WIM binding's own
// error when it has no engine).
#include "archive/morlet.h"
#include "platform/errors.h"
#include "services/log.h"
#include "wim/wim.h"

namespace orv {

DWORD COrvMorlet::OpenForeign() {
  COrvLog& log = COrvLog::GetInstance();
  if (type_ == archive::kTypeVirtualDisk) {
    log.AddError(ORV_T("Cannot mount %s - the virtual-disk library is missing"), path_);
    return err::kInvalidData;
  }
  COrvWim wim;
  DWORD created = 0;
  HANDLE file = wim.WIMCreateFile(path_.c_str(), os::kGenericRead,
                                  static_cast<DWORD>(os::Disposition::kOpenExisting), 0, 0, &created);
  if (file == nullptr) {
    log.AddError(ORV_T("Cannot open the WIM file %s - %u"), path_, wim.GetLastErrorCode());
    return wim.GetLastErrorCode();
  }
  wim.WIMCloseHandle(file);
  log.AddError(ORV_T("Mounting the WIM file %s is not supported"), path_);
  return ORV_ERROR_NOT_SUPPORTED;
}

}  // namespace orv
