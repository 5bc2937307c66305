// The per-thread error slot of the Windows convention, kept by the library itself.
#include "platform/last_error.h"

namespace orv::os {

namespace {
thread_local DWORD lastError = 0;
}  // namespace

DWORD GetThreadLastError() { return lastError; }
void SetThreadLastError(DWORD error) { lastError = error; }

}  // namespace orv::os
