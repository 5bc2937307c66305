// Operations on a file by its path: attributes, information, times, deletion, renaming.
#include "platform/file.h"
#include "platform/win32/native.h"

namespace orv::os {

using win32::FromFiletime;
using win32::LastError;
using win32::NativePath;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The item itself, a link rather than its target, a directory as well as a file.
constexpr DWORD kItemFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

}  // namespace

DWORD GetAttributes(WStringView path, DWORD& attributes) {
  const DWORD value = ::GetFileAttributesW(NativePath(path).c_str());
  if (value == INVALID_FILE_ATTRIBUTES) return LastError();
  attributes = value;
  return err::kSuccess;
}

DWORD SetAttributes(WStringView path, DWORD attributes) {
  return ::SetFileAttributesW(NativePath(path).c_str(), attributes) ? err::kSuccess : LastError();
}

DWORD GetInfo(WStringView path, FileInfo& info) {
  File item;
  const DWORD opened =
      item.Open(path, FILE_READ_ATTRIBUTES, kShareAll, Disposition::kOpenExisting, kItemFlags);
  if (opened == err::kSuccess) return item.GetInfo(info);
  if (opened != ERROR_SHARING_VIOLATION && opened != ERROR_ACCESS_DENIED) return opened;
  // Some files cannot be opened even for their attributes (the paging file, for one);
  // the directory still knows their attributes, times and size. Such a file is taken
  // as one with a single name, since nothing identifies it for hard-link grouping.
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(NativePath(path).c_str(), GetFileExInfoStandard, &data))
    return opened;
  info = FileInfo{};
  info.attributes = data.dwFileAttributes;
  info.times = {FromFiletime(data.ftCreationTime), FromFiletime(data.ftLastAccessTime),
                FromFiletime(data.ftLastWriteTime)};
  info.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  info.links = 1;
  return err::kSuccess;
}

DWORD SetTimes(WStringView path, const FileTimes& times) {
  File item;
  if (const DWORD error =
          item.Open(path, FILE_WRITE_ATTRIBUTES, kShareAll, Disposition::kOpenExisting, kItemFlags))
    return error;
  return item.SetTimes(times);
}

DWORD DeleteFile(WStringView path) {
  return ::DeleteFileW(NativePath(path).c_str()) ? err::kSuccess : LastError();
}

DWORD MoveFile(WStringView from, WStringView to, bool replaceExisting) {
  return ::MoveFileExW(NativePath(from).c_str(), NativePath(to).c_str(),
                       replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0)
             ? err::kSuccess
             : LastError();
}

DWORD FlushFolderOf(WStringView) { return err::kSuccess; }

}  // namespace orv::os
