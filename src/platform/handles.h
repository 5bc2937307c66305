// Handles that processes hold on a file or folder: finding them in the system's handle
// table and closing one inside the process that owns it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/file.h"
#include "platform/text.h"

namespace orv::os {

struct HeldHandle {
  DWORD processId = 0;
  uint64_t value = 0;    // the handle value (or descriptor) in its process
  WString process;       // the image name of the owning process
  FileIdentity object;   // the file or folder the handle was found on
};

// Every handle whose object is the file or folder at `path` (a full path), of every
// process the caller may open, 32-bit or 64-bit. Windows identifies each file object by
// its volume's serial number and its file index, read through a duplicate of the handle
// (no access right is needed for either, so change-notification handles are found too);
// `object`, when given, is that identity, for a folder whose deletion is pending and
// that can no longer be opened. The queries that may block (a pipe that waits for a
// client) run on one worker thread that is given 50 milliseconds each; one that does not
// answer has its I/O cancelled, and the worker is ended and replaced, never leaked.
// Linux reads /proc. 50 where the system offers no handle table; 0x80004002 when the
// native functions are missing.
DWORD FindHandlesOnPath(WStringView path, std::vector<HeldHandle>& handles,
                        const FileIdentity* object = nullptr);

// Where closing a handle in another process stopped.
enum class CloseStep { kOpenProcess, kConfirm, kClose, kDone };

struct CloseResult {
  CloseStep step = CloseStep::kOpenProcess;
  DWORD error = 0;  // the error of that step
};

// Closes the handle inside its process (this process included): the handle is confirmed
// to still refer to `handle.object` just before, then closed with DuplicateHandle and
// DUPLICATE_CLOSE_SOURCE, which works across sessions and bitness. kConfirm when it now
// refers to something else (or does not answer), so nothing is closed. Linux cannot
// close another process's descriptor: kOpenProcess, 50.
CloseResult CloseHandleInProcess(const HeldHandle& handle);

}  // namespace orv::os
