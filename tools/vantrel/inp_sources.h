// The entries `inp create` stores for the folders and files it is given. One folder
// gives the names below it ("a.txt", "sub\b.txt"); with several sources each keeps its
// own name on top ("tree\a.txt", "single.bin"), so two sources never fill one name.
#pragma once

#include <string>
#include <vector>

#include "platform/text.h"
#include "vantrel/vantrel.h"

namespace vantrel_cli {

// One item to add, with the attribute block its folder listing gave (so the writer need
// not ask the file system again).
struct Source {
  orv::WString path;
  orv::WString name;
  ORVFILEATTRIBUTEDATA attributes{};
};

struct SourceItems {
  std::vector<Source> items;
  size_t unreadable = 0;  // entries that could not be read, each one reported
};

// Collects the items, folders before their content (folders only when `withFolders`);
// links are stored, not entered. The exit status: a source that cannot be read is a
// failure, names that would be stored twice (Windows names ignore case) bad usage.
int CollectSources(const std::vector<std::string>& sources, bool withFolders, SourceItems& collected);

}  // namespace vantrel_cli
