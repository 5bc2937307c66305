#include "image/new_wim.h"

#include "platform/folder.h"

namespace orv {

BOOL CreateNewWim(COrvWim& wim, const WString& path, DWORD compression) {
  os::DeleteEntryAt(path);  // nothing there is the usual case
  return wim.WIMCreateFile(path.c_str(), wim::kGenericWrite, wim::kCreateAlways, 0, compression,
                           nullptr) != nullptr;
}

}  // namespace orv
