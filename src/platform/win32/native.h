// What every file of the Win32 backend shares: <windows.h> without the macros that would
// rename the platform layer's own functions, and small helpers around the W calls.
#pragma once

// <windows.h> comes first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <winioctl.h>
#include <winternl.h>
// clang-format on

// The "A/W" macros of <windows.h> would turn orv::os::DeleteFile into orv::os::DeleteFileW
// (and GetFreeSpace into a constant); the backend calls the W functions by their full names.
#undef CreateDirectory
#undef DeleteFile
#undef GetCurrentDirectory
#undef GetFreeSpace
#undef MoveFile
#undef RemoveDirectory
#undef SetCurrentDirectory

#include "platform/errors.h"
#include "platform/file.h"

namespace orv::os::win32 {

// The error of the call that just failed. A failed call that left no error behind still
// reports a failure, never success.
inline DWORD LastError() {
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? error : err::kInternalError;
}

inline FILETIME ToFiletime(FileTime time) {
  return FILETIME{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
}

inline FileTime FromFiletime(const FILETIME& time) {
  return (static_cast<FileTime>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

inline bool IsSeparator(Char c) { return c == L'\\' || c == L'/'; }

// The path as the W calls take it: unchanged when short, in the "\\?\" form when it is
// long enough for the MAX_PATH limit to refuse it (see native_path.cpp).
WString NativePath(WStringView path);

// The last name of a path ("C:\dir\file" gives "file"), ignoring trailing separators.
WStringView FinalName(WStringView path);

// Runs a W call that fills a caller's buffer the usual way: it returns the length
// without the terminator, or the size it needs (terminator included) when the buffer is
// too small, or 0 on failure. Returns the call's error, 0 when `out` holds the text.
// A call that returns 0 without an error has produced empty text.
template <typename Call>
DWORD FetchText(WString& out, Call call) {
  DWORD capacity = MAX_PATH + 1;
  for (;;) {
    out.resize(capacity);
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length = call(out.data(), capacity);
    if (length == 0) {
      out.clear();
      return ::GetLastError();
    }
    if (length < capacity) {
      out.resize(length);
      return err::kSuccess;
    }
    // The text grew between the calls or the call asks for exactly what it had:
    // either way a larger buffer settles it.
    capacity = length > capacity ? length : capacity + 1;
  }
}

}  // namespace orv::os::win32
