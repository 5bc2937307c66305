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

DWORD DirSearch::First(WStringView pattern, FindData& data, SearchDetail detail) {
  if (state_ != nullptr) {
    ::FindClose(state_);
    state_ = nullptr;
  }
  WIN32_FIND_DATAW found;
  const WString native = win32::NativePath(pattern);
  HANDLE search = INVALID_HANDLE_VALUE;
  // The basic search leaves out the short name and fetches entries in large batches;
  // systems that do not know it answer 87, and the full search serves.
  if (detail == SearchDetail::kBasic)
    search = ::FindFirstFileExW(native.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE &&
      (detail == SearchDetail::kFull || ::GetLastError() == ERROR_INVALID_PARAMETER))
    search = ::FindFirstFileW(native.c_str(), &found);
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
