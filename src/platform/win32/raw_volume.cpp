// Raw volumes on Windows: the volume device of a drive letter. Reads of a volume device
// must start and end on sector boundaries, so each read goes through an aligned buffer
// that covers the largest sector size in use (4 KiB).
#include "platform/raw_volume.h"

#include <cstring>
#include <vector>

#include "platform/win32/native.h"

namespace orv::os {

namespace {

constexpr uint64_t kAlignment = 4096;

bool IsDriveRoot(WStringView root) {
  while (!root.empty() && win32::IsSeparator(root.back())) root.remove_suffix(1);
  return root.size() == 2 && root[1] == L':' &&
         ((root[0] >= L'A' && root[0] <= L'Z') || (root[0] >= L'a' && root[0] <= L'z'));
}

}  // namespace

DWORD RawVolume::Open(WStringView root) {
  Close();
  if (!IsDriveRoot(root)) return err::kPathNotFound;
  const WString device = WString(L"\\\\.\\") + root[0] + L":";
  HANDLE handle = ::CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return win32::LastError();
  handle_ = handle;
  return err::kSuccess;
}

void RawVolume::Close() {
  if (handle_ != nullptr) ::CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

DWORD RawVolume::Read(uint64_t offset, void* buffer, DWORD size) {
  if (handle_ == nullptr) return err::kInvalidHandle;
  if (size == 0) return err::kSuccess;
  const uint64_t start = offset - offset % kAlignment;
  const uint64_t end = offset + size;
  if (end < offset) return err::kInvalidParameter;
  const uint64_t alignedEnd = (end + kAlignment - 1) / kAlignment * kAlignment;
  std::vector<uint8_t> bounce(static_cast<size_t>(alignedEnd - start) + kAlignment);
  uint8_t* aligned = bounce.data() + (kAlignment - reinterpret_cast<uintptr_t>(bounce.data()) %
                                                       kAlignment) % kAlignment;
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(start);
  if (!::SetFilePointerEx(static_cast<HANDLE>(handle_), position, nullptr, FILE_BEGIN))
    return win32::LastError();
  DWORD done = 0;
  const DWORD wanted = static_cast<DWORD>(alignedEnd - start);
  if (!::ReadFile(static_cast<HANDLE>(handle_), aligned, wanted, &done, nullptr))
    return win32::LastError();
  if (done < end - start) return err::kHandleEof;
  memcpy(buffer, aligned + (offset - start), size);
  return err::kSuccess;
}

DWORD RawVolume::Size(uint64_t& size) const {
  if (handle_ == nullptr) return err::kInvalidHandle;
  GET_LENGTH_INFORMATION length{};
  DWORD returned = 0;
  if (!::DeviceIoControl(static_cast<HANDLE>(handle_), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0,
                         &length, sizeof(length), &returned, nullptr))
    return win32::LastError();
  size = static_cast<uint64_t>(length.Length.QuadPart);
  return err::kSuccess;
}

// Opened without any access, which files held without sharing still allow in most cases.
DWORD GetFileReference(WStringView path, uint64_t& reference) {
  HANDLE handle = ::CreateFileW(
      win32::NativePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return win32::LastError();
  BY_HANDLE_FILE_INFORMATION data;
  const BOOL known = ::GetFileInformationByHandle(handle, &data);
  const DWORD error = known ? err::kSuccess : win32::LastError();
  ::CloseHandle(handle);
  if (known) reference = (static_cast<uint64_t>(data.nFileIndexHigh) << 32) | data.nFileIndexLow;
  return error;
}

}  // namespace orv::os
