// What the capture operations of an image object share while they run: the caller's
// record, progress and cancel state, the partition being captured, its catalogues, the
// lists of entries the passes hand to each other, and the rotation of archive parts.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "archive/morlet.h"
#include "image/catalogue_crc.h"
#include "image/catalogue_xml.h"
#include "platform/event.h"
#include "platform/text.h"
#include "services/string.h"

namespace orv {

// What was captured of one partition offered during the pre-count.
struct SelectionEntry {
  uint64_t bytes = 0;  // all bits set: the caller excluded the partition
  uint64_t files = 0;
};
inline constexpr uint64_t kExcludedPartition = ~uint64_t{0};

struct CaptureState {
  // From the caller's record.
  ORVDCALLBACK callback = nullptr;
  ORVVALUE context = 0;
  DWORD imageType = 0;
  DWORD diskNumber = 0;
  DWORD reserved = 0;
  DWORD splitSizeMB = 0;
  uint64_t SplitBytes() const { return uint64_t{splitSizeMB} * 1048576u; }
  // The part size of a type-5 archive: the split size for a disk image, 100 MiB less
  // for the archive of a folder. 0: parts without a size limit.
  uint64_t archivePartBytes = 0;
  WString targetDir;
  WString password;  // at most kMaxPassword characters; empty: the image has none
  bool HasPassword() const { return !password.empty(); }
  WString tempDir;
  WString savedCurrentDir;

  // The stop event: the caller's, or "ImageStop" made by the object.
  void* stopEvent = nullptr;
  os::Event ownStopEvent;

  DWORD lastError = 0;
  bool cancelled = false;

  // Progress: a range of steps for the sector and WIM paths, bytes for the archive path.
  int progressRange = 0;
  int progressBase = 0;
  int progressPosition = 0;
  uint64_t bytesDone = 0;
  uint64_t totalBytes = 0;
  bool percentageStyle = false;  // set by the folder operations, never reset
  bool bootImage = false;

  // By partition number; the current entry is the partition being captured.
  std::map<DWORD, SelectionEntry> selection;
  SelectionEntry* current = nullptr;

  // The partition being captured.
  DWORD partitionNumber = 0;
  WString volumeRoot;  // its mount point, ending with a separator
  bool volumeKeepsAcls = false;
  CrcCatalogueWriter crc;
  CatalogueDocument base;
  std::vector<WString> imageFiles;       // in creation order, for BASE.XML
  std::vector<WString> leftovers;        // relative paths also stored in DATA.INP
  std::vector<WString> sharingViolations;  // archive names deferred to the second pass
  bool secondPass = false;
  bool shadow = false;
  WString shadowPath;  // ends with a separator
  std::set<COrvString, COrvStringLess> listedNames;  // ALL.CRC lines of a WIM capture

  // The archive being written and its rotation.
  COrvMorlet archive;
  WString archivePath;
  int archiveVersion = 2;  // of the archive and of the parts rotation opens
  DWORD partCounter = 0;
  DWORD archiveBytes = 0;  // saturates at 0xFFFFFFFF
  DWORD archiveFiles = 0;
};

// The longest password kept; longer ones are refused.
inline constexpr size_t kMaxPassword = 41;

}  // namespace orv
