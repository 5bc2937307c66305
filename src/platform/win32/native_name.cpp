#include "platform/native_name.h"
#include "platform/encoding.h"
#include "platform/win32/native.h"

namespace orv::os {

DWORD NativeNameOf(WStringView path, std::string& native) {
  native = ToUtf8(win32::NativePath(path));
  return err::kSuccess;
}

}  // namespace orv::os
