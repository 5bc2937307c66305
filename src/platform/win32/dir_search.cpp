// Directory search: a FindFirstFileW handle and the entries it gives.
#include "platform/dir_search.h"

#include "platform/win32/native.h"

namespace orv::os {

namespace {

void Fill(const WIN32_FIND_DATAW& found, FindData& data) {
  data.attributes = found.dwFileAttributes;
  data.times = {win32::FromFiletime(found.ftCreationTime),
                win32::FromFiletime(found.ftLastAccessTime),
                win32::FromFiletime(found.ftLastWriteTime)};
  data.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  // The search reports the reparse tag in this otherwise reserved field.
  data.reparseTag =
      (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? found.dwReserved0 : 0;
  data.name = found.cFileName;
  data.shortName = found.cAlternateFileName;
}

}  // namespace

DirSearch::~DirSearch() {
  if (state_ != nullptr) ::FindClose(state_);
}

DWORD DirSearch::First(WStringView pattern, FindData& data) {
  if (state_ != nullptr) {
    ::FindClose(state_);
    state_ = nullptr;
  }
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileW(win32::NativePath(pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return win32::LastError();
  state_ = search;
  Fill(found, data);
  return err::kSuccess;
}

DWORD DirSearch::Next(FindData& data) {
  if (state_ == nullptr) return err::kInvalidHandle;
  WIN32_FIND_DATAW found;
  if (!::FindNextFileW(state_, &found)) return win32::LastError();
  Fill(found, data);
  return err::kSuccess;
}

}  // namespace orv::os
