#include "diffsets/merge_table.h"

#include <algorithm>

#include "platform/case_fold.h"

namespace orv {

void MergeTable::AddCapture(const WString& name, const WString& archive) {
  const auto held = std::find_if(archives_.begin(), archives_.end(), [&](const WString& known) {
    return os::CompareNoCase(known, archive) == 0;
  });
  const size_t index = static_cast<size_t>(held - archives_.begin());
  if (held == archives_.end()) archives_.push_back(archive);
  entries_[COrvString(name)] = MergeEntry{index, false, false};
  DropDeletedFoldersAbove(name);
}

void MergeTable::DropDeletedFoldersAbove(const WString& name) {
  for (size_t slash = name.find('\\'); slash != WString::npos;
       slash = name.find('\\', slash + 1)) {
    const auto above = entries_.find(COrvString(WStringView(name).substr(0, slash)));
    if (above != entries_.end() && above->second.deleted) entries_.erase(above);
  }
}

void MergeTable::ApplyDeletion(const WString& name, bool directory, const KeepDeleted& keep) {
  const auto found = entries_.find(COrvString(name));
  if (found != entries_.end()) {
    if (found->second.deleted) return;
    if (keep && keep(name)) return;
  }
  entries_[COrvString(name)] = MergeEntry{0, true, directory};
}

}  // namespace orv
