#include "platform/encrypted_file.h"

#include "platform/win32/native.h"

namespace orv::os {

using win32::LastError;
using win32::NativePath;

namespace {

// The raw interface calls back with portions of the stream; the staging file gives and
// takes them.
DWORD WINAPI WritePortion(PBYTE data, PVOID context, ULONG length) {
  DWORD done = 0;
  return ::WriteFile(static_cast<HANDLE>(context), data, length, &done, nullptr) && done == length
             ? ERROR_SUCCESS
             : LastError();
}

DWORD WINAPI ReadPortion(PBYTE data, PVOID context, PULONG length) {
  DWORD done = 0;
  if (!::ReadFile(static_cast<HANDLE>(context), data, *length, &done, nullptr)) return LastError();
  *length = done;  // 0 ends the import
  return ERROR_SUCCESS;
}

HANDLE OpenStaging(WStringView path, bool forWriting) {
  return ::CreateFileW(NativePath(path).c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ,
                       forWriting ? 0 : FILE_SHARE_READ, nullptr,
                       forWriting ? CREATE_ALWAYS : OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                       nullptr);
}

}  // namespace

DWORD ExportEncryptedRaw(WStringView source, WStringView staging) {
  PVOID context = nullptr;
  DWORD error = ::OpenEncryptedFileRawW(NativePath(source).c_str(), 0, &context);
  if (error != ERROR_SUCCESS) return error;
  const HANDLE out = OpenStaging(staging, true);
  if (out == INVALID_HANDLE_VALUE) {
    error = LastError();
  } else {
    error = ::ReadEncryptedFileRaw(WritePortion, out, context);
    ::CloseHandle(out);
  }
  ::CloseEncryptedFileRaw(context);
  return error;
}

DWORD ImportEncryptedRaw(WStringView staging, WStringView target) {
  const HANDLE in = OpenStaging(staging, false);
  if (in == INVALID_HANDLE_VALUE) return LastError();
  PVOID context = nullptr;
  DWORD error = ::OpenEncryptedFileRawW(NativePath(target).c_str(), CREATE_FOR_IMPORT, &context);
  if (error == ERROR_SUCCESS) {
    error = ::WriteEncryptedFileRaw(ReadPortion, in, context);
    ::CloseEncryptedFileRaw(context);
    // A half-imported file is no restored file.
    if (error != ERROR_SUCCESS) ::DeleteFileW(NativePath(target).c_str());
  }
  ::CloseHandle(in);
  return error;
}

}  // namespace orv::os
