#include "fsutil/release_handles.h"

#include "platform/errors.h"
#include "platform/handles.h"
#include "services/log.h"

namespace orv {

DWORD ReleaseHandlesOnPath(WStringView folder) {
  COrvLog& log = COrvLog::GetInstance();
  std::vector<os::HeldHandle> handles;
  if (const DWORD error = os::FindHandlesOnPath(folder, handles)) {
    log.AddInfo(ORV_T("Handle table not available - %u (%8.8X)"), error, error);
    return 0;
  }
  for (const os::HeldHandle& handle : handles) {
    log.AddInfo(ORV_T("Process %u (%s) holds %s"), handle.processId, handle.process,
                WString(folder));
    const os::CloseResult result = os::CloseHandleInProcess(handle);
    // Linux has nothing to close: a removed folder goes while others still hold it.
    if (result.step == os::CloseStep::kOpenProcess && result.error == err::kNotSupported) continue;
    switch (result.step) {
      case os::CloseStep::kOpenProcess:
        log.AddError(ORV_T("OpenProcess(%u) failed - %u"), handle.processId, result.error);
        break;
      case os::CloseStep::kLoadLibrary:
        log.AddError(ORV_T("LoadLibrary(kernel32.dll) failed - %u"), result.error);
        break;
      case os::CloseStep::kGetProcAddress:
        log.AddError(ORV_T("GetProcAddress(CloseHandle) failed - %u"), result.error);
        break;
      case os::CloseStep::kCreateThread:
        log.AddError(ORV_T("CreateRemoteThread failed - %u"), result.error);
        break;
      case os::CloseStep::kDone:
        log.AddInfo(ORV_T("Thread CloseHandle returns %u"), result.exitCode);
        break;
    }
  }
  return static_cast<DWORD>(handles.size());
}

}  // namespace orv
