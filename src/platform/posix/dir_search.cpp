// Directory search. The folder is read whole when the search starts and its entries
// are given in the order of an NTFS index (upper-cased UTF-16, ordinal), after "." and
// "..", which NTFS reports first everywhere but at the root of a volume. Links are
// reported as reparse points and never followed.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>

#include "platform/case_fold.h"
#include "platform/dir_search.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/notice.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/file_time.h"
#include "platform/posix/metadata.h"
#include "platform/posix/path_map.h"

namespace orv::os {

namespace {

using posix::EntryRef;
using posix::EntryStat;

struct SearchState {
  std::vector<FindData> entries;
  size_t next = 0;
};

// Sorts entries into NTFS index order; names equal but for case fall back to ordinal
// order, so the order is total and does not depend on the order of the folder. Each name
// is folded once: a folder of thousands of entries takes tens of thousands of compares.
void SortInNtfsOrder(std::vector<FindData>& entries) {
  std::vector<std::pair<WString, size_t>> keys;
  keys.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) keys.emplace_back(FoldedKey(entries[i].name), i);
  std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
    const int order = a.first.compare(b.first);
    return order != 0 ? order < 0 : entries[a.second].name < entries[b.second].name;
  });
  std::vector<FindData> sorted;
  sorted.reserve(entries.size());
  for (const auto& key : keys) sorted.push_back(std::move(entries[key.second]));
  entries = std::move(sorted);
}

// The entry at `native`; when `folder` is an open folder, the entry is looked up there by
// its name in it, `nameInFolder`, instead of by its whole path.
DWORD Describe(const std::string& native, WString name, FindData& data,
               SearchDetail detail = SearchDetail::kFull, int folder = -1,
               const char* nameInFolder = nullptr) {
  EntryStat entry;
  if (DWORD error = folder >= 0 ? posix::StatInFolder(folder, nameInFolder, native, entry)
                                : posix::StatPath(native, entry))
    return error;
  const EntryRef ref{native};
  data.name = std::move(name);
  data.size = S_ISREG(entry.st.stx_mode) ? entry.st.stx_size : 0;
  if (detail == SearchDetail::kBasic && S_ISREG(entry.st.stx_mode)) {
    // What the one statx gave: no extended attribute is read.
    data.attributes = kAttrArchive;
    data.reparseTag = 0;
    data.times.lastWrite = posix::ToFileTime(entry.st.stx_mtime.tv_sec, entry.st.stx_mtime.tv_nsec);
    data.times.lastAccess = posix::ToFileTime(entry.st.stx_atime.tv_sec, entry.st.stx_atime.tv_nsec);
    data.times.creation = data.times.lastWrite;
    data.shortName.clear();
    return err::kSuccess;
  }
  if (DWORD error = posix::ReadAttributes(ref, entry, data.attributes, data.reparseTag))
    return error;
  if (DWORD error = posix::ReadTimes(ref, entry, data.times)) return error;
  if (DWORD error = posix::ReadShortName(ref, entry, data.shortName)) return error;
  // The attribute names listed for the reads above serve this one as well.
  if (detail == SearchDetail::kWithSecurity)
    data.securityError = posix::ReadSecurity(ref, entry, data.security);
  return err::kSuccess;
}

// Splits "C:\dir\*.txt" into the folder ("C:\dir\") and the name pattern ("*.txt").
void SplitPattern(WStringView pattern, WString& folder, WString& names) {
  const size_t separator = pattern.find_last_of(ORV_T("\\/"));
  if (separator != WStringView::npos) {
    folder = pattern.substr(0, separator + 1);
    names = pattern.substr(separator + 1);
  } else if (pattern.size() >= 2 && pattern[1] == ':') {
    folder = pattern.substr(0, 2);
    names = pattern.substr(2);
  } else {
    folder = ORV_T(".");
    names = pattern;
  }
}

// Reads the folder's entries that match `names`. An entry that cannot be described (a
// junction that ntfs-3g answers with EIO until its cache expires, say) is tried once
// more, then left out and listed in `unreadable`.
DWORD ReadFolder(const std::string& folder, WStringView names, SearchDetail detail,
                 std::vector<FindData>& found, std::vector<UnreadableEntry>& unreadable) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return posix::LastError();
  while (const dirent* entry = readdir(dir)) {
    const std::string_view native = entry->d_name;
    if (native == "." || native == "..") continue;
    WString name = FromUtf8(native);
    if (!MatchesPattern(names, name)) continue;
    const std::string path = posix::JoinNative(folder, std::string(native));
    FindData data;
    DWORD error = Describe(path, name, data, detail, dirfd(dir), entry->d_name);
    if (error && error != err::kFileNotFound)
      error = Describe(path, name, data, detail, dirfd(dir), entry->d_name);
    // An entry deleted since it was listed is simply no longer there.
    if (error == err::kFileNotFound) continue;
    if (error) {
      Notice(FromUtf8("Cannot read " + path + ", left out - " + std::to_string(error)));
      unreadable.push_back({std::move(name), error});
      continue;
    }
    found.push_back(std::move(data));
  }
  closedir(dir);
  SortInNtfsOrder(found);
  return err::kSuccess;
}

}  // namespace

DirSearch::~DirSearch() { delete static_cast<SearchState*>(state_); }

DWORD DirSearch::First(WStringView pattern, FindData& data, SearchDetail detail) {
  delete static_cast<SearchState*>(state_);
  state_ = nullptr;
  WString folder, names;
  SplitPattern(pattern, folder, names);
  posix::ResolvedPath resolved;
  if (DWORD error = posix::ResolvePath(folder, resolved)) return error;
  struct stat st;
  if (!resolved.exists || stat(resolved.native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return err::kPathNotFound;
  auto state = std::make_unique<SearchState>();
  if (!resolved.isRoot) {
    for (const char* dots : {".", ".."}) {
      const WString name = FromUtf8(dots);
      if (!MatchesPattern(names, name)) continue;
      FindData entry;
      const std::string native =
          dots[1] ? posix::JoinNative(resolved.native, "..") : resolved.native;
      if (DWORD error = Describe(native, name, entry)) return error;
      state->entries.push_back(std::move(entry));
    }
  }
  std::vector<FindData> entries;
  unreadable_.clear();
  if (DWORD error = ReadFolder(resolved.native, names, detail, entries, unreadable_)) return error;
  std::move(entries.begin(), entries.end(), std::back_inserter(state->entries));
  if (state->entries.empty()) return err::kFileNotFound;
  state_ = state.release();
  return Next(data);
}

DWORD DirSearch::Next(FindData& data) {
  auto* state = static_cast<SearchState*>(state_);
  if (state == nullptr) return err::kInvalidHandle;
  if (state->next == state->entries.size()) return err::kNoMoreFiles;
  data = std::move(state->entries[state->next++]);
  return err::kSuccess;
}

}  // namespace orv::os
