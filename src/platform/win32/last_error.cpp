// The thread's last error is the system's own slot.
#include "platform/last_error.h"
#include "platform/win32/native.h"

namespace orv::os {

DWORD GetThreadLastError() { return ::GetLastError(); }
void SetThreadLastError(DWORD error) { ::SetLastError(error); }

}  // namespace orv::os
