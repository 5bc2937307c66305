// Restore targets on Windows: the folder is held open, checked to be a folder and no
// reparse point; files in it are created new (never an existing name, so never through
// a link) and opened as reparse points, and moved over their final name, which replaces
// a link there instead of following it.
#include "platform/target_folder.h"

// clang-format off
#include "platform/win32/native.h"
#include <ntsecapi.h>
// clang-format on

#include <cwchar>

namespace orv::os {

namespace {

using win32::LastError;
using win32::NativePath;

constexpr DWORD kStagingAccess = GENERIC_READ | GENERIC_WRITE | DELETE;
constexpr DWORD kStagingFlags =
    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

// 16 hexadecimal digits from the system's random source.
DWORD RandomName(WString& name) {
  uint64_t bits = 0;
  if (!RtlGenRandom(&bits, sizeof bits)) return LastError();
  wchar_t text[24];
  std::swprintf(text, 24, L"~vt%08lX%08lX", static_cast<unsigned long>(bits >> 32),
                static_cast<unsigned long>(bits & 0xFFFFFFFFu));
  name = text;
  return err::kSuccess;
}

DWORD CreateNew(const WString& path, void*& handle) {
  const HANDLE created = ::CreateFileW(NativePath(path).c_str(), kStagingAccess, 0, nullptr,
                                       CREATE_NEW, kStagingFlags, nullptr);
  if (created == INVALID_HANDLE_VALUE) return LastError();
  handle = created;
  return err::kSuccess;
}

}  // namespace

struct TargetFolder::State {
  HANDLE handle = INVALID_HANDLE_VALUE;
  DWORD openFlags = 0;
  ~State() {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};

TargetFolder::TargetFolder() = default;
TargetFolder::~TargetFolder() = default;

DWORD TargetFolder::Open(WStringView path, bool mayBeLink) {
  state_.reset();
  auto state = std::make_unique<State>();
  state->openFlags = FILE_FLAG_BACKUP_SEMANTICS | (mayBeLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  // Deleting stays shared: the caller may remove the tree while the folder is held.
  state->handle = ::CreateFileW(
      NativePath(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      state->openFlags, nullptr);
  if (state->handle == INVALID_HANDLE_VALUE) return LastError();
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(state->handle, &info)) return LastError();
  if (!mayBeLink && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return err::kInvalidName;
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return err::kDirectory;
  path_.assign(path);
  state_ = std::move(state);
  return err::kSuccess;
}

DWORD TargetFolder::OpenBelow(const TargetFolder& root, WStringView relative) {
  if (!root.state_) return err::kInvalidHandle;
  return Open(root.PathOf(relative));
}

bool TargetFolder::StillAtPath() const {
  if (!state_) return false;
  const HANDLE named = ::CreateFileW(NativePath(path_).c_str(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, state_->openFlags, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION held, now;
  const bool same = ::GetFileInformationByHandle(state_->handle, &held) &&
                    ::GetFileInformationByHandle(named, &now) &&
                    ((state_->openFlags & FILE_FLAG_OPEN_REPARSE_POINT) == 0 ||
                     !(now.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) &&
                    held.dwVolumeSerialNumber == now.dwVolumeSerialNumber &&
                    held.nFileIndexHigh == now.nFileIndexHigh &&
                    held.nFileIndexLow == now.nFileIndexLow;
  ::CloseHandle(named);
  return same;
}

DWORD TargetFolder::FreshName(WString& name) {
  if (!state_) return err::kInvalidHandle;
  for (int attempt = 0; attempt < 8; ++attempt) {
    if (DWORD error = RandomName(name)) return error;
    if (::GetFileAttributesW(NativePath(PathOf(name)).c_str()) == INVALID_FILE_ATTRIBUTES)
      return err::kSuccess;
  }
  return err::kFileExists;
}

DWORD TargetFolder::CreateStaging(File& file, WString& name) {
  if (!state_) return err::kInvalidHandle;
  for (int attempt = 0; attempt < 8; ++attempt) {
    if (DWORD error = RandomName(name)) return error;
    file.Close();
    const DWORD error = CreateNew(PathOf(name), file.handle_);
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return error;
  }
  return err::kFileExists;
}

DWORD TargetFolder::CreateExclusive(WStringView name, File& file) {
  if (!state_) return err::kInvalidHandle;
  file.Close();
  const WString path = PathOf(name);
  DWORD error = CreateNew(path, file.handle_);
  if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
    if ((error = Remove(name))) return error;
    error = CreateNew(path, file.handle_);
  }
  return error;
}

DWORD TargetFolder::Replace(WStringView from, WStringView to) {
  if (!state_) return err::kInvalidHandle;
  const WString target = NativePath(PathOf(to));
  // A read-only file refuses to be replaced; a restore replaces it all the same.
  const DWORD present = ::GetFileAttributesW(target.c_str());
  if (present != INVALID_FILE_ATTRIBUTES && (present & FILE_ATTRIBUTE_READONLY) &&
      !(present & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
    ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  return ::MoveFileExW(NativePath(PathOf(from)).c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)
             ? err::kSuccess
             : LastError();
}

DWORD TargetFolder::Remove(WStringView name) {
  if (!state_) return err::kInvalidHandle;
  const WString path = NativePath(PathOf(name));
  const DWORD present = ::GetFileAttributesW(path.c_str());
  if (present == INVALID_FILE_ATTRIBUTES) return LastError();
  if (present & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  // A link to a folder is removed as a folder, which removes the link alone.
  const BOOL removed = (present & FILE_ATTRIBUTE_DIRECTORY) && (present & FILE_ATTRIBUTE_REPARSE_POINT)
                           ? ::RemoveDirectoryW(path.c_str())
                           : ::DeleteFileW(path.c_str());
  return removed ? err::kSuccess : LastError();
}

}  // namespace orv::os
