#include "archive/target_path.h"

#include "platform/errors.h"
#include "platform/file.h"

namespace orv::archive {

namespace {

bool IsSeparator(Char c) { return c == '\\' || c == '/'; }

// Windows drops trailing dots and spaces of a component: "..", ". .", "... " all name
// the parent folder.
bool ReadsAsParent(WStringView component) {
  size_t dots = 0;
  for (Char c : component) {
    if (c == '.')
      ++dots;
    else if (c != ' ')
      return false;
  }
  return dots >= 2;
}

}  // namespace

bool IsSafeEntryName(WStringView name) {
  if (name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1])) return false;
  if (!name.empty() && name[0] == '/') return false;
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && (name[i] == ':' || name[i] == 0)) return false;
    if (i == name.size() || IsSeparator(name[i])) {
      if (ReadsAsParent(name.substr(start, i - start))) return false;
      start = i + 1;
    }
  }
  return true;
}

DWORD BuildTargetPath(WStringView folder, WStringView name, size_t maxChars, WString& target) {
  if (!IsSafeEntryName(name)) return err::kInvalidName;
  target.assign(folder);
  target += Char('\\');
  target += name;
  if (target.size() > maxChars) return err::kFilenameExcedRange;
  return err::kSuccess;
}

DWORD RefuseExistingLink(WStringView path) {
  os::FileInfo info;
  if (os::GetInfo(path, info) != 0) return err::kSuccess;
  return (info.attributes & os::kAttrReparsePoint) ? err::kInvalidName : err::kSuccess;
}

DWORD PrepareParentFolders(WStringView folder, WStringView target, bool& createdParent) {
  createdParent = false;
  if (DWORD error = os::CreateDirectoryTree(folder)) return error;
  const size_t end = target.find_last_of(ORV_T("\\/"));
  if (end == WStringView::npos || end <= folder.size()) return err::kSuccess;
  for (size_t pos = folder.size() + 1; pos <= end; ++pos) {
    if (pos != end && !IsSeparator(target[pos])) continue;
    if (IsSeparator(target[pos - 1])) continue;  // an empty component
    const WStringView step = target.substr(0, pos);
    os::FileInfo info;
    if (os::GetInfo(step, info) == 0) {
      if (info.attributes & os::kAttrReparsePoint) return err::kInvalidName;
      if (!(info.attributes & os::kAttrDirectory)) return err::kPathNotFound;
      continue;
    }
    const DWORD error = os::CreateDirectory(step);
    if (error && error != err::kAlreadyExists) return error;
    createdParent = pos == end && !error;
  }
  return err::kSuccess;
}

}  // namespace orv::archive
