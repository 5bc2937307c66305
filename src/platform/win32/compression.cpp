#include "platform/compression.h"

#include "platform/win32/native.h"

namespace orv::os {

DWORD SetDefaultCompression(WStringView path) {
  const HANDLE item = ::CreateFileW(win32::NativePath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (item == INVALID_HANDLE_VALUE) return win32::LastError();
  USHORT format = COMPRESSION_FORMAT_DEFAULT;
  DWORD returned = 0;
  const BOOL done = ::DeviceIoControl(item, FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0,
                                      &returned, nullptr);
  const DWORD error = done ? ERROR_SUCCESS : win32::LastError();
  ::CloseHandle(item);
  return error;
}

}  // namespace orv::os
