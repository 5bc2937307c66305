// Directory search with Windows wildcard patterns ("C:\dir\*.*", "D:\img\*.WIM").
#pragma once

#include "platform/file.h"

namespace orv::os {

struct FindData {
  DWORD attributes = 0;
  FileTimes times;
  uint64_t size = 0;
  DWORD reparseTag = 0;  // set when attributes hold kAttrReparsePoint
  WString name;
  WString shortName;     // empty when the name needs none
};

// One search. First() starts it; Next() gives the following entry until it returns 18
// (no more files). The search ends with the object.
class DirSearch {
 public:
  DirSearch() = default;
  ~DirSearch();
  DirSearch(const DirSearch&) = delete;
  DirSearch& operator=(const DirSearch&) = delete;

  // `pattern` is a folder followed by a name pattern with * and ?. Returns 2 when no
  // entry matches, 3 when the folder does not exist.
  DWORD First(WStringView pattern, FindData& data);
  DWORD Next(FindData& data);

 private:
  void* state_ = nullptr;
};

// Whether `name` matches a Windows wildcard pattern, ignoring case ("*.*" matches every
// name, with or without a dot).
bool MatchesPattern(WStringView pattern, WStringView name);

}  // namespace orv::os
