// Windows has a file monitor of its own; the folder watch is not built there.
#include "platform/folder_watch.h"

#include "platform/errors.h"

namespace orv::os {

DWORD CreateFolderWatch(std::unique_ptr<FolderWatch>& watch) {
  watch.reset();
  return err::kNotSupported;
}

}  // namespace orv::os
