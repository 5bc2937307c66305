#include "fsutil/release_handles.h"

#include "platform/errors.h"
#include "platform/handles.h"
#include "services/log.h"

namespace orv {

DWORD ReleaseHandlesOnPath(WStringView folder, const os::FileIdentity* object) {
  COrvLog& log = COrvLog::GetInstance();
  std::vector<os::HeldHandle> handles;
  if (const DWORD error = os::FindHandlesOnPath(folder, handles, object)) {
    log.AddInfo(ORV_T("Handle table not available - %u (%8.8X)"), error, error);
    return 0;
  }
  for (const os::HeldHandle& handle : handles) {
    log.AddInfo(ORV_T("Process %u (%s) holds %s"), handle.processId, handle.process,
                WString(folder));
    const os::CloseResult result = os::CloseHandleInProcess(handle);
    // Linux has nothing to close: a removed folder goes while others still hold it.
    if (result.step == os::CloseStep::kOpenProcess && result.error == err::kNotSupported) continue;
    const auto value = static_cast<DWORD>(handle.value);
    switch (result.step) {
      case os::CloseStep::kOpenProcess:
        log.AddError(ORV_T("OpenProcess(%u) failed - %u"), handle.processId, result.error);
        break;
      case os::CloseStep::kConfirm:
        log.AddInfo(ORV_T("Handle %u of process %u no longer refers to %s - %u"), value,
                    handle.processId, WString(folder), result.error);
        break;
      case os::CloseStep::kClose:
        log.AddError(ORV_T("DuplicateHandle(DUPLICATE_CLOSE_SOURCE) failed - %u"), result.error);
        break;
      case os::CloseStep::kDone:
        log.AddInfo(ORV_T("Handle %u closed in process %u"), value, handle.processId);
        break;
    }
  }
  return static_cast<DWORD>(handles.size());
}

}  // namespace orv
