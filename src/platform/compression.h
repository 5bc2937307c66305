// The compression state of files and folders (the compressed attribute 0x800).
#pragma once

#include "platform/text.h"
#include "vantrel/types.h"

namespace orv::os {

// Gives the file or folder the file system's default compression. Linux file systems
// have none to give: the compressed attribute stays in the stored attributes, and the
// call succeeds without change.
DWORD SetDefaultCompression(WStringView path);

}  // namespace orv::os
