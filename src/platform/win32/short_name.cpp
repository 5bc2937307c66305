// 8.3 short names: read through the short form of the path, set on a handle opened for
// restore.
#include "platform/file.h"

#include <cstring>
#include <vector>

#include "platform/win32/native.h"

namespace orv::os {

namespace {

using SetInformationFile = NTSTATUS(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG,
                                            FILE_INFORMATION_CLASS);
using StatusToError = ULONG(NTAPI*)(NTSTATUS);

}  // namespace

using win32::FetchText;
using win32::FinalName;
using win32::NativePath;

DWORD GetShortName(WStringView path, WString& shortName) {
  shortName.clear();
  const WString native = NativePath(path);
  WString shortPath;
  if (const DWORD error = FetchText(shortPath, [&](Char* buffer, DWORD size) {
        return ::GetShortPathNameW(native.c_str(), buffer, size);
      }))
    return error;
  // A name without an 8.3 alias comes back as it is. The long form, not the path as
  // given, is the comparison: the caller may have named the file by its alias.
  WString longPath;
  if (const DWORD error = FetchText(longPath, [&](Char* buffer, DWORD size) {
        return ::GetLongPathNameW(native.c_str(), buffer, size);
      }))
    return error;
  const WStringView alias = FinalName(shortPath);
  const WStringView name = FinalName(longPath);
  if (::CompareStringOrdinal(alias.data(), static_cast<int>(alias.size()), name.data(),
                             static_cast<int>(name.size()), TRUE) != CSTR_EQUAL)
    shortName.assign(alias);
  return err::kSuccess;
}

// Windows names the 8.3 alias of an open file only through native calls; the path is
// as good here.
DWORD GetShortName(const File&, WStringView path, WString& shortName) {
  return GetShortName(path, shortName);
}

DWORD SetShortName(WStringView path, WStringView shortName) {
  // The system takes a short name only through a handle with write and delete access,
  // opened with backup semantics, from a caller holding the restore privilege.
  File item;
  if (const DWORD error = item.Open(
          path, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
          Disposition::kOpenExisting, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT))
    return error;
  // SetFileShortNameW is this request and nothing more. It is made here directly so that
  // a system whose kernel32 lacks the function (Wine aborts the process on the call)
  // answers with an error code instead.
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const auto setInformation = reinterpret_cast<SetInformationFile>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtSetInformationFile")));
  const auto statusToError = reinterpret_cast<StatusToError>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
  if (setInformation == nullptr || statusToError == nullptr) return err::kCallNotImplemented;
  // FILE_NAME_INFORMATION: the name's length in bytes, then the name.
  const ULONG nameBytes = static_cast<ULONG>(shortName.size() * sizeof(Char));
  std::vector<uint8_t> request(sizeof nameBytes + nameBytes);
  std::memcpy(request.data(), &nameBytes, sizeof nameBytes);
  std::memcpy(request.data() + sizeof nameBytes, shortName.data(), nameBytes);
  IO_STATUS_BLOCK status{};
  const NTSTATUS result =
      setInformation(item.NativeHandle(), &status, request.data(),
                     static_cast<ULONG>(request.size()), FileShortNameInformation);
  return NT_SUCCESS(result) ? err::kSuccess : statusToError(result);
}

}  // namespace orv::os
