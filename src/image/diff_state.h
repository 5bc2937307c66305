// What a differential image keeps while it runs: the reference table the scan judges
// entries against, what the scan found, and what the backup needs of the caller's record.
#pragma once

#include <cstdint>
#include <memory>
#include <set>

#include "image/catalogue_crc.h"
#include "image/catalogue_desc.h"
#include "image/catalogue_xml.h"

namespace orv {

struct DiffState {
  CrcTable table;
  bool i386 = false;  // the reference lists an entry named I386
  // The new folder being walked: everything below it is new.
  bool inNewDirectory = false;
  WString newDirectory;
  bool shadowNeeded = false;  // a changed file could not be read for sharing
  uint64_t changeBytes = 0;
  DWORD changeCount = 0;

  DWORD request = 0;
  WString referenceDir;
  WString description;
  WString volumeRoot;  // "E:\"
  uint64_t usedSpace = 0;

  CatalogueDocument deletions;  // DEL.XML
  std::unique_ptr<DescriptionFile> descriptionFile = std::make_unique<DescriptionFile>();
  // Kinds 3 and 4: where the new image is mounted (a drive root "X:\", or the WIM's
  // "...\TMP_MOUNT\"), empty when it is not.
  WString mountFolder;
  // Parent folders stored in the current archive, each once.
  std::set<COrvString, COrvStringLess> storedParents;
};

}  // namespace orv
