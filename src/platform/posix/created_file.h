// A file that a folder's own create (openat) has just made, handed to a File.
#pragma once

#include <string>

#include "vantrel/types.h"

namespace orv::os::posix {

// Takes ownership of `fd`, the new file `native`, opened for `access` without sharing,
// and gives it the attributes a created file starts with. `handle` receives the File's
// handle; on failure the descriptor is closed.
DWORD AdoptCreatedFile(int fd, std::string native, DWORD access, void*& handle);

}  // namespace orv::os::posix
