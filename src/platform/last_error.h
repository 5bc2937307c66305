// The calling thread's last Windows error, as functions that follow the Windows
// convention (return a result, leave the reason in a per-thread slot) report it.
#pragma once

#include "vantrel/types.h"

namespace orv::os {

DWORD GetThreadLastError();
void SetThreadLastError(DWORD error);

}  // namespace orv::os
