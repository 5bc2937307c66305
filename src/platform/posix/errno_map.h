// The one translation from errno values to Windows error codes.
#pragma once

#include "vantrel/types.h"

namespace orv::os::posix {

DWORD ErrnoToWindows(int error);

// ErrnoToWindows(errno), for the line right after a failed call.
DWORD LastError();

}  // namespace orv::os::posix
