#include "image/new_wim.h"

#include "platform/folder.h"
#include "platform/local_memory.h"

namespace orv {

BOOL CreateNewWim(COrvWim& wim, const WString& path, DWORD compression) {
  os::DeleteEntryAt(path);  // nothing there is the usual case
  return wim.WIMCreateFile(path.c_str(), wim::kGenericWrite, wim::kCreateAlways, 0, compression,
                           nullptr) != nullptr;
}

void RewriteImageInformation(COrvWim& wim, HANDLE image) {
  void* information = nullptr;
  DWORD size = 0;
  if (!wim.WIMGetImageInformation(image, &information, &size)) return;
  wim.WIMSetImageInformation(image, information, size);
  os::LocalRelease(information);
}

}  // namespace orv
