// Directory search with Windows wildcard patterns ("C:\dir\*.*", "D:\img\*.WIM").
#pragma once

#include <cstdint>
#include <vector>

#include "platform/file.h"

namespace orv::os {

struct FindData {
  DWORD attributes = 0;
  FileTimes times;
  uint64_t size = 0;
  DWORD reparseTag = 0;  // set when attributes hold kAttrReparsePoint
  WString name;
  WString shortName;     // empty when the name needs none
  // Only with SearchDetail::kWithSecurity: the entry's security descriptor (empty when it
  // has none), or why it could not be read; the entry is given either way.
  std::vector<uint8_t> security;
  DWORD securityError = 0;
};

// An entry a search found but could not read, left out with its error.
struct UnreadableEntry {
  WString name;
  DWORD error = 0;
};

// How much a search tells of each entry. kBasic serves walks that judge entries by name,
// size and last write time: the short name may be missing, the creation time may be the
// last write time, and a plain file's attributes are only what its file system keeps
// itself (on Linux the library's own store is not read for files, a call per file).
// Folders and links are always described whole, so that reparse points are known.
// kWithSecurity is kFull and each entry's security descriptor as GetSecurity reads it
// (but "." and ".."): on Linux the search has the entry's metadata at hand, so the
// descriptor costs no second lookup of its path.
enum class SearchDetail { kFull, kBasic, kWithSecurity };

// One search. First() starts it; Next() gives the following entry until it returns 18
// (no more files). The search ends with the object. An entry whose metadata cannot be
// read (after one retry) is left out with a notice, listed in Unreadable(), and the
// rest of the folder is still given.
class DirSearch {
 public:
  DirSearch() = default;
  ~DirSearch();
  DirSearch(const DirSearch&) = delete;
  DirSearch& operator=(const DirSearch&) = delete;

  // `pattern` is a folder followed by a name pattern with * and ?. Returns 2 when no
  // entry matches, 3 when the folder does not exist.
  DWORD First(WStringView pattern, FindData& data, SearchDetail detail = SearchDetail::kFull);
  DWORD Next(FindData& data);
  const std::vector<UnreadableEntry>& Unreadable() const { return unreadable_; }

 private:
  void* state_ = nullptr;
  std::vector<UnreadableEntry> unreadable_;
};

// Whether `name` matches a Windows wildcard pattern, ignoring case ("*.*" matches every
// name, with or without a dot).
bool MatchesPattern(WStringView pattern, WStringView name);

}  // namespace orv::os
