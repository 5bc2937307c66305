// Windows error codes, the one vocabulary of failure across the library on every system.
#pragma once

#include "vantrel/types.h"

namespace orv::err {

inline constexpr DWORD kSuccess = 0;
inline constexpr DWORD kInvalidFunction = 1;
inline constexpr DWORD kFileNotFound = 2;
inline constexpr DWORD kPathNotFound = 3;
inline constexpr DWORD kTooManyOpenFiles = 4;
inline constexpr DWORD kAccessDenied = 5;
inline constexpr DWORD kInvalidHandle = 6;
inline constexpr DWORD kNotEnoughMemory = 8;
inline constexpr DWORD kBadFormat = 11;
inline constexpr DWORD kInvalidData = 13;
inline constexpr DWORD kInvalidDrive = 15;
inline constexpr DWORD kOutOfMemory = 14;
inline constexpr DWORD kNotSameDevice = 17;
inline constexpr DWORD kNoMoreFiles = 18;
inline constexpr DWORD kWriteProtect = 19;
inline constexpr DWORD kNotReady = 21;
inline constexpr DWORD kBadCommand = 22;
inline constexpr DWORD kSharingViolation = 32;
inline constexpr DWORD kLockViolation = 33;
inline constexpr DWORD kHandleEof = 38;
inline constexpr DWORD kNotSupported = 50;
inline constexpr DWORD kFileExists = 80;
inline constexpr DWORD kInvalidParameter = 87;
inline constexpr DWORD kBrokenPipe = 109;
inline constexpr DWORD kDiskFull = 112;
inline constexpr DWORD kCallNotImplemented = 120;
inline constexpr DWORD kInsufficientBuffer = 122;
inline constexpr DWORD kInvalidName = 123;
inline constexpr DWORD kModNotFound = 126;
inline constexpr DWORD kProcNotFound = 127;
inline constexpr DWORD kDirNotEmpty = 145;
inline constexpr DWORD kBusy = 170;
inline constexpr DWORD kBadPathName = 161;
inline constexpr DWORD kAlreadyExists = 183;
inline constexpr DWORD kFilenameExcedRange = 206;
inline constexpr DWORD kMoreData = 234;
inline constexpr DWORD kNoMoreItems = 259;
inline constexpr DWORD kDirectory = 267;
inline constexpr DWORD kNotAReparsePoint = 4390;
inline constexpr DWORD kInvalidReparseData = 4392;
inline constexpr DWORD kCantAccessFile = 1920;
inline constexpr DWORD kCantResolveFilename = 1921;
inline constexpr DWORD kNotAllAssigned = 1300;
inline constexpr DWORD kPrivilegeNotHeld = 1314;
inline constexpr DWORD kNoUnicodeTranslation = 1113;
inline constexpr DWORD kInternalError = 1359;
inline constexpr DWORD kFileCorrupt = 1392;
inline constexpr DWORD kInvalidSecurityDescr = 1338;
inline constexpr DWORD kTimeout = 1460;
inline constexpr DWORD kBadExeFormat = 193;

}  // namespace orv::err
