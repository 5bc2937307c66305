// Handles that processes hold on a file or folder: finding them in the system's handle
// table and closing one inside the process that owns it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace orv::os {

struct HeldHandle {
  DWORD processId = 0;
  uint64_t value = 0;  // the handle value (or descriptor) in its process
  WString process;     // the image name of the owning process
};

// Every handle whose object is the file or folder at `path` (a full path). Windows
// compares the object's name on its volume and the volume itself; handles of processes
// of the other bitness are left out, and name queries that do not answer within 50
// milliseconds are abandoned. Linux reads /proc. 50 where the system offers no handle
// table; 0x80004002 when the native functions are missing.
DWORD FindHandlesOnPath(WStringView path, std::vector<HeldHandle>& handles);

// Where closing a handle in another process stopped.
enum class CloseStep { kOpenProcess, kLoadLibrary, kGetProcAddress, kCreateThread, kDone };

struct CloseResult {
  CloseStep step = CloseStep::kOpenProcess;
  DWORD error = 0;     // the error of that step
  DWORD exitCode = 0;  // kDone: what CloseHandle returned in the owning process
};

// Closes the handle by running CloseHandle on a thread started in its process (this
// process included). Linux cannot close another process's descriptor: kOpenProcess, 50.
CloseResult CloseHandleInProcess(const HeldHandle& handle);

}  // namespace orv::os
