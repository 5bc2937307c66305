// The folders of an image's differential sets: USERDIFF.0, USERDIFF.1, ... beside each
// other, and the byte totals their catalogues record.
#pragma once

#include <cstdint>

#include "image/catalogue_xml.h"
#include "platform/file.h"
#include "services/format.h"

namespace orv {

inline WString SetFolder(const WString& sets, int index) {
  return Format(ORV_T("%s\\USERDIFF.%d"), sets, index);
}

// The journal of a merge of the sets that has begun its switch (diffsets/merge_switch.h):
// while it is there the sets are half renumbered and must not be read as a chain.
inline WString MergeJournalPath(const WString& sets) { return sets + ORV_T("\\MERGE.TXT"); }

inline bool FolderExists(const WString& path) {
  DWORD attributes = 0;
  return os::GetAttributes(path, attributes) == 0 && (attributes & os::kAttrDirectory);
}

// The byte total BASE.XML of `folder` records; 0 without one.
inline uint64_t CatalogueSize(const WString& folder) {
  BaseCatalogue catalogue;
  ReadBaseCatalogue(folder + ORV_T("\\BASE.XML"), catalogue);
  return catalogue.size;
}

// The sets 0 to `last` that are there as folders, as the index of the last one before
// the first missing; -1 when USERDIFF.0 is missing. A restore point far past the sets
// is then not counted set by set.
inline int LastExistingSet(const WString& sets, int last) {
  int index = 0;
  while (index <= last && FolderExists(SetFolder(sets, index))) ++index;
  return index - 1;
}

}  // namespace orv
