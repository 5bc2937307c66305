#include "services/win64os.h"

#include "platform/system.h"

namespace orv {

COrvWin64OS::~COrvWin64OS() { Deactivate64BitProcess(); }

BOOL COrvWin64OS::IsWOW64Process() const { return os::IsWow64Process(); }

BOOL COrvWin64OS::Activate64BitProcess() {
  if (active_) return TRUE;
  if (os::DisableFsRedirection(saved_) != 0) return FALSE;
  active_ = true;
  return TRUE;
}

BOOL COrvWin64OS::Deactivate64BitProcess() {
  if (!active_) return TRUE;
  active_ = false;
  return os::RevertFsRedirection(saved_) == 0;
}

}  // namespace orv
