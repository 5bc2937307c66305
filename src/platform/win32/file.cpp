// An open file or directory: a Win32 handle and the calls made on it.
#include "platform/file.h"

#include <utility>

#include "platform/win32/native.h"

namespace orv::os {

using win32::FromFiletime;
using win32::LastError;
using win32::ToFiletime;

File::~File() { Close(); }

File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

DWORD File::Open(WStringView path, DWORD access, DWORD share, Disposition disposition,
                 DWORD flagsAndAttributes) {
  Close();
  const HANDLE handle = ::CreateFileW(win32::NativePath(path).c_str(), access, share, nullptr,
                                      static_cast<DWORD>(disposition), flagsAndAttributes, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  handle_ = handle;
  return err::kSuccess;
}

void File::Close() {
  if (handle_ != nullptr) ::CloseHandle(std::exchange(handle_, nullptr));
}

DWORD File::Read(void* buffer, DWORD size, DWORD& done) {
  done = 0;
  if (handle_ == nullptr) return err::kInvalidHandle;
  // One ReadFile fills the buffer on a disk file; the loop keeps the promise that a
  // short count means the end also where a read may return less (pipes, consoles).
  auto* bytes = static_cast<uint8_t*>(buffer);
  while (done < size) {
    DWORD got = 0;
    if (!::ReadFile(handle_, bytes + done, size - done, &got, nullptr)) return LastError();
    if (got == 0) break;
    done += got;
  }
  return err::kSuccess;
}

DWORD File::Write(const void* buffer, DWORD size, DWORD& done) {
  done = 0;
  if (handle_ == nullptr) return err::kInvalidHandle;
  if (!::WriteFile(handle_, buffer, size, &done, nullptr)) return LastError();
  return err::kSuccess;
}

DWORD File::Seek(int64_t offset, SeekFrom from, uint64_t* position) {
  if (handle_ == nullptr) return err::kInvalidHandle;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER reached;
  if (!::SetFilePointerEx(handle_, distance, &reached, static_cast<DWORD>(from)))
    return LastError();
  if (position != nullptr) *position = static_cast<uint64_t>(reached.QuadPart);
  return err::kSuccess;
}

DWORD File::Size(uint64_t& size) const {
  if (handle_ == nullptr) return err::kInvalidHandle;
  LARGE_INTEGER value;
  if (!::GetFileSizeEx(handle_, &value)) return LastError();
  size = static_cast<uint64_t>(value.QuadPart);
  return err::kSuccess;
}

DWORD File::SetEnd() {
  if (handle_ == nullptr) return err::kInvalidHandle;
  return ::SetEndOfFile(handle_) ? err::kSuccess : LastError();
}

DWORD File::SetSparse() {
  if (handle_ == nullptr) return err::kInvalidHandle;
  DWORD returned = 0;
  return ::DeviceIoControl(handle_, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr)
             ? err::kSuccess
             : LastError();
}

DWORD File::Flush() {
  if (handle_ == nullptr) return err::kInvalidHandle;
  return ::FlushFileBuffers(handle_) ? err::kSuccess : LastError();
}

DWORD File::GetInfo(FileInfo& info) const {
  if (handle_ == nullptr) return err::kInvalidHandle;
  BY_HANDLE_FILE_INFORMATION data;
  if (!::GetFileInformationByHandle(handle_, &data)) return LastError();
  info.attributes = data.dwFileAttributes;
  info.times = {FromFiletime(data.ftCreationTime), FromFiletime(data.ftLastAccessTime),
                FromFiletime(data.ftLastWriteTime)};
  info.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  info.volumeSerial = data.dwVolumeSerialNumber;
  info.fileIndex = (static_cast<uint64_t>(data.nFileIndexHigh) << 32) | data.nFileIndexLow;
  info.links = data.nNumberOfLinks;
  return err::kSuccess;
}

DWORD File::SetTimes(const FileTimes& times) {
  if (handle_ == nullptr) return err::kInvalidHandle;
  // A null pointer leaves that time as it is.
  const FILETIME creation = ToFiletime(times.creation);
  const FILETIME access = ToFiletime(times.lastAccess);
  const FILETIME write = ToFiletime(times.lastWrite);
  if (!::SetFileTime(handle_, times.creation != 0 ? &creation : nullptr,
                     times.lastAccess != 0 ? &access : nullptr,
                     times.lastWrite != 0 ? &write : nullptr))
    return LastError();
  return err::kSuccess;
}

}  // namespace orv::os
