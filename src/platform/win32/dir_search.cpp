// Directory search: a FindFirstFileW handle and the entries it gives.
#include "platform/dir_search.h"

#include "platform/win32/native.h"

namespace orv::os {

namespace {

struct SearchState {
  HANDLE handle = INVALID_HANDLE_VALUE;
  WString folder;  // the pattern's folder with its separator, when descriptors are read
  bool withSecurity = false;
};

void Fill(const WIN32_FIND_DATAW& found, const SearchState& state, FindData& data) {
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
  data.security.clear();
  data.securityError = 0;
  if (state.withSecurity && data.name != ORV_T(".") && data.name != ORV_T(".."))
    data.securityError = GetSecurity(state.folder + data.name, kAllSecurity, data.security);
}

}  // namespace

DirSearch::~DirSearch() {
  auto* state = static_cast<SearchState*>(state_);
  if (state != nullptr) ::FindClose(state->handle);
  delete state;
}

DWORD DirSearch::First(WStringView pattern, FindData& data, SearchDetail detail) {
  if (auto* old = static_cast<SearchState*>(state_)) {
    ::FindClose(old->handle);
    delete old;
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
      (detail != SearchDetail::kBasic || ::GetLastError() == ERROR_INVALID_PARAMETER))
    search = ::FindFirstFileW(native.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return win32::LastError();
  auto* state = new SearchState{search};
  if (detail == SearchDetail::kWithSecurity) {
    // "C:\dir\*.*" names entries "C:\dir\name", "C:*.*" names them "C:name".
    const size_t separator = pattern.find_last_of(ORV_T("\\/"));
    const size_t folderLength = separator != WStringView::npos ? separator + 1
                                : pattern.size() >= 2 && pattern[1] == ':' ? 2
                                                                           : 0;
    state->folder = WString(pattern.substr(0, folderLength));
    state->withSecurity = true;
  }
  state_ = state;
  Fill(found, *state, data);
  return err::kSuccess;
}

DWORD DirSearch::Next(FindData& data) {
  auto* state = static_cast<SearchState*>(state_);
  if (state == nullptr) return err::kInvalidHandle;
  WIN32_FIND_DATAW found;
  if (!::FindNextFileW(state->handle, &found)) return win32::LastError();
  Fill(found, *state, data);
  return err::kSuccess;
}

}  // namespace orv::os
