// Folders held open by handle. Every entry is opened as itself (a reparse point is never
// followed), checked through its handle and deleted through it. A folder is held without
// share-delete while it is walked, so it cannot be renamed or replaced by a junction
// under the walk; the names of its entries are therefore resolved in it.
#include "platform/folder.h"

#include <utility>

#include "platform/system.h"
#include "platform/win32/native.h"

namespace orv::os {

namespace {

using win32::LastError;

constexpr DWORD kOpenFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kEntryAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

struct FolderState {
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool canDelete = false;  // opened with delete access
};

HANDLE OpenAs(const WString& path, DWORD access, DWORD share) {
  return ::CreateFileW(win32::NativePath(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                       kOpenFlags, nullptr);
}

DWORD AttributesOf(HANDLE handle, DWORD& attributes) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) return LastError();
  attributes = info.dwFileAttributes;
  return err::kSuccess;
}

bool IsPlainFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Marks the open entry for deletion; it goes when its last handle closes. A read-only
// file loses the attribute first, which Windows would otherwise refuse to delete.
DWORD DeleteByHandle(HANDLE handle, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = attributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof(basic)))
      return LastError();
  }
  // FILE_DISPOSITION_INFO is one BOOLEAN, whose member name <windows.h> turns into
  // DeleteFileW; it is given as what it is.
  static_assert(sizeof(FILE_DISPOSITION_INFO) == sizeof(BOOLEAN));
  BOOLEAN deleteFile = TRUE;
  if (!::SetFileInformationByHandle(handle, FileDispositionInfo, &deleteFile, sizeof(deleteFile)))
    return LastError();
  return err::kSuccess;
}

// Opens the folder at `path` as itself. Delete access and the exclusion of share-delete
// are asked first; a folder that others hold in a way that forbids them is opened with
// what they allow.
DWORD OpenFolderAt(const WString& path, FolderState*& out) {
  struct Try {
    DWORD access, share;
  };
  static constexpr Try kTries[] = {
      {kFolderAccess | DELETE | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE},
      {kFolderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE},
      {kFolderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
  };
  DWORD error = err::kSuccess;
  for (const Try& attempt : kTries) {
    const HANDLE handle = OpenAs(path, attempt.access, attempt.share);
    if (handle == INVALID_HANDLE_VALUE) {
      error = LastError();
      if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) continue;
      return error;
    }
    DWORD attributes = 0;
    error = AttributesOf(handle, attributes);
    if (error == 0 && !IsPlainFolder(attributes))
      error = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? kStoppedOnLink : err::kDirectory;
    if (error) {
      ::CloseHandle(handle);
      return error;
    }
    out = new FolderState{handle, (attempt.access & DELETE) != 0};
    return err::kSuccess;
  }
  return error;
}

// Deletes the entry at `path` when it is a file or a link, through its own handle.
DWORD DeleteNonFolder(const WString& path) {
  const HANDLE handle =
      OpenAs(path, kEntryAccess, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  DWORD attributes = 0;
  DWORD error = AttributesOf(handle, attributes);
  if (error == 0) error = IsPlainFolder(attributes) ? err::kAccessDenied
                                                    : DeleteByHandle(handle, attributes);
  ::CloseHandle(handle);
  return error;
}

}  // namespace

void Folder::Close() {
  auto* state = static_cast<FolderState*>(std::exchange(state_, nullptr));
  if (state == nullptr) return;
  ::CloseHandle(state->handle);
  delete state;
}

DWORD Folder::Open(WStringView path) {
  Close();
  WString folder(path);
  while (folder.size() > 3 && win32::IsSeparator(folder.back())) folder.pop_back();
  FolderState* state = nullptr;
  if (DWORD error = OpenFolderAt(folder, state)) return error;
  state_ = state;
  path_ = std::move(folder);
  return err::kSuccess;
}

DWORD Folder::OpenChild(WStringView name, Folder& child) const {
  child.Close();
  if (state_ == nullptr) return err::kInvalidHandle;
  const WString path = path_ + L"\\" + WString(name);
  FolderState* state = nullptr;
  if (DWORD error = OpenFolderAt(path, state)) return error;
  child.state_ = state;
  child.path_ = path;
  return err::kSuccess;
}

DWORD Folder::PinChild(WStringView name, Folder& pinned) const {
  pinned.Close();
  if (state_ == nullptr) return err::kInvalidHandle;
  const WString path = path_ + L"\\" + WString(name);
  // Without share-delete: while it is held, nobody renames it or puts a link in its place.
  // Share modes bind only handles with access to data, so it is opened for listing, which
  // the backup privilege grants whatever the folder's access list says.
  const PrivilegeHold backup(L"SeBackupPrivilege");
  const HANDLE handle = OpenAs(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  DWORD attributes = 0;
  DWORD error = AttributesOf(handle, attributes);
  if (error == 0 && !IsPlainFolder(attributes))
    error = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? kStoppedOnLink : err::kDirectory;
  if (error) {
    ::CloseHandle(handle);
    return error;
  }
  pinned.state_ = new FolderState{handle, false};
  pinned.path_ = path;
  return err::kSuccess;
}

DWORD Folder::Identity(FileIdentity& identity) const {
  const auto* state = static_cast<const FolderState*>(state_);
  if (state == nullptr) return err::kInvalidHandle;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(state->handle, &info)) return LastError();
  identity.volumeSerial = info.dwVolumeSerialNumber;
  identity.fileIndex = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return err::kSuccess;
}

DWORD Folder::List(std::vector<FolderEntry>& entries) const {
  entries.clear();
  const auto* state = static_cast<const FolderState*>(state_);
  if (state == nullptr) return err::kInvalidHandle;
  // Read through the folder's own handle: no second open, no path to resolve again.
  std::vector<uint8_t> buffer(64 * 1024);
  for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;;
       kind = FileIdBothDirectoryInfo) {
    if (!::GetFileInformationByHandleEx(state->handle, kind, buffer.data(),
                                        static_cast<DWORD>(buffer.size()))) {
      const DWORD error = ::GetLastError();
      return error == ERROR_NO_MORE_FILES || error == ERROR_FILE_NOT_FOUND ? err::kSuccess
                                                                           : LastError();
    }
    for (size_t at = 0;;) {
      const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
      const WString name(info->FileName, info->FileNameLength / sizeof(WCHAR));
      if (name != L"." && name != L"..") {
        FolderEntry entry;
        entry.name = name;
        entry.link = (info->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entry.folder = IsPlainFolder(info->FileAttributes);
        entries.push_back(std::move(entry));
      }
      if (info->NextEntryOffset == 0) break;
      at += info->NextEntryOffset;
      if (at >= buffer.size()) break;
    }
  }
}

DWORD Folder::DeleteEntry(WStringView name) const {
  if (state_ == nullptr) return err::kInvalidHandle;
  return DeleteNonFolder(path_ + L"\\" + WString(name));
}

DWORD Folder::DeleteSelf() {
  auto* state = static_cast<FolderState*>(state_);
  if (state == nullptr) return err::kInvalidHandle;
  DWORD error = err::kSuccess;
  if (state->canDelete) {
    DWORD attributes = 0;
    error = AttributesOf(state->handle, attributes);
    if (error == 0) error = DeleteByHandle(state->handle, attributes);
    Close();
    return error;
  }
  // Opened without delete access: opened again for it, still as itself.
  Close();
  const HANDLE handle =
      OpenAs(path_, kEntryAccess, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  DWORD attributes = 0;
  error = AttributesOf(handle, attributes);
  if (error == 0) error = DeleteByHandle(handle, attributes);
  ::CloseHandle(handle);
  return error;
}

DWORD DeleteEntryAt(WStringView path) { return DeleteNonFolder(WString(path)); }

}  // namespace orv::os
