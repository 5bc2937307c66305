// Creating and removing directories, including a whole missing chain of parents.
#include <vector>

#include "platform/file.h"
#include "platform/win32/native.h"

namespace orv::os {

using win32::IsSeparator;
using win32::LastError;
using win32::NativePath;

namespace {

// Drops trailing separators but keeps the one of a drive root, because "C:" alone names
// the current directory of the drive.
WStringView WithoutTrailingSeparators(WStringView path) {
  while (path.size() > 1 && IsSeparator(path.back()) && path[path.size() - 2] != L':')
    path.remove_suffix(1);
  return path;
}

// Creates one directory of a tree; one that is already there counts as made. Creating
// an existing directory fails with 183, or with 5 where the caller may not create
// (a volume root, a folder it may only read), so the item itself decides.
DWORD MakeTreeDirectory(WStringView path) {
  const WString native = NativePath(path);
  if (::CreateDirectoryW(native.c_str(), nullptr)) return err::kSuccess;
  const DWORD error = LastError();
  if (error == ERROR_PATH_NOT_FOUND) return error;
  const DWORD attributes = ::GetFileAttributesW(native.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return err::kSuccess;
  return error;  // a file in the way stays a failure (183)
}

}  // namespace

DWORD CreateDirectory(WStringView path) {
  return ::CreateDirectoryW(NativePath(path).c_str(), nullptr) ? err::kSuccess : LastError();
}

DWORD CreateDirectoryTree(WStringView path) {
  // Walks up until a directory can be made or exists, then makes the missing ones on
  // the way back down.
  std::vector<WStringView> missing;
  WStringView current = WithoutTrailingSeparators(path);
  for (;;) {
    const DWORD error = MakeTreeDirectory(current);
    if (error == err::kSuccess) break;
    if (error != ERROR_PATH_NOT_FOUND) return error;
    size_t cut = current.size();
    while (cut > 0 && !IsSeparator(current[cut - 1])) --cut;
    const WStringView parent = WithoutTrailingSeparators(current.substr(0, cut));
    if (cut == 0 || parent.empty() || IsSeparator(parent.back())) return error;
    missing.push_back(current);
    current = parent;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it)
    if (const DWORD error = MakeTreeDirectory(*it)) return error;
  return err::kSuccess;
}

DWORD RemoveDirectory(WStringView path) {
  return ::RemoveDirectoryW(NativePath(path).c_str()) ? err::kSuccess : LastError();
}

}  // namespace orv::os
