// The walk is a basic directory search: sizes come with the entries, without a call per file.
#include "platform/folder_size.h"

#include <vector>

#include "platform/dir_search.h"

namespace orv::os {

uint64_t FolderBytes(WStringView folder) {
  uint64_t total = 0;
  std::vector<WString> pending{WString(folder)};
  while (!pending.empty()) {
    WString current = std::move(pending.back());
    pending.pop_back();
    while (!current.empty() && (current.back() == '\\' || current.back() == '/'))
      current.pop_back();
    DirSearch search;
    FindData data;
    for (DWORD error = search.First(current + ORV_T("\\*.*"), data, SearchDetail::kBasic); error == 0;
         error = search.Next(data)) {
      if (data.name == ORV_T(".") || data.name == ORV_T("..")) continue;
      if (data.attributes & kAttrReparsePoint) continue;
      if (data.attributes & kAttrDirectory)
        pending.push_back(current + ORV_T("\\") + data.name);
      else
        total += data.size;
    }
  }
  return total;
}

}  // namespace orv::os
