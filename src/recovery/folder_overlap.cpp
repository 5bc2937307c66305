#include "recovery/folder_overlap.h"

#include "platform/case_fold.h"
#include "platform/file.h"

namespace orv {

namespace {

bool IsSeparator(Char c) { return c == '\\' || c == '/'; }

WString WithoutTrailingSeparators(WString path) {
  while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
  return path;
}

bool SameEntry(const WString& a, const os::FileInfo& known, const WString& b) {
  os::FileInfo info;
  if (known.fileIndex != 0 && os::GetInfo(a, info) == 0)
    return info.volumeSerial == known.volumeSerial && info.fileIndex == known.fileIndex;
  return os::CompareNoCase(a, b) == 0;
}

}  // namespace

bool FolderHolds(const WString& folder, const WString& path) {
  const WString outer = WithoutTrailingSeparators(folder);
  os::FileInfo known;
  if (os::GetInfo(outer, known) != 0) known = os::FileInfo{};
  WString walk = WithoutTrailingSeparators(path);
  while (!walk.empty()) {
    if (SameEntry(walk, known, outer)) return true;
    const size_t cut = walk.find_last_of(ORV_T("\\/"));
    if (cut == WString::npos || cut == 0) break;
    walk = WithoutTrailingSeparators(walk.substr(0, cut));
  }
  return false;
}

}  // namespace orv
