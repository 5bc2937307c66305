// Which kinds of access a Windows access mask asks for. Generic rights stand for their
// file-specific meaning (GENERIC_READ includes FILE_READ_DATA, and so on).
#pragma once

#include "platform/file.h"

namespace orv::os::posix {

inline constexpr DWORD kFileReadData = 0x0001;  // FILE_LIST_DIRECTORY on a folder
inline constexpr DWORD kFileWriteData = 0x0002;
inline constexpr DWORD kFileAppendData = 0x0004;
inline constexpr DWORD kFileExecute = 0x0020;
inline constexpr DWORD kMaximumAllowed = 0x02000000;
inline constexpr DWORD kGenericExecute = 0x20000000;

inline bool WantsRead(DWORD access) {
  return access & (kGenericRead | kGenericExecute | kGenericAll | kMaximumAllowed | kFileReadData |
                   kFileExecute);
}

inline bool WantsWrite(DWORD access) {
  return access &
         (kGenericWrite | kGenericAll | kMaximumAllowed | kFileWriteData | kFileAppendData);
}

inline bool WantsDelete(DWORD access) {
  return access & (kDeleteAccess | kGenericAll | kMaximumAllowed);
}

inline bool WantsWriteAttributes(DWORD access) {
  return access & (kGenericWrite | kGenericAll | kMaximumAllowed | kFileWriteAttributes);
}

}  // namespace orv::os::posix
