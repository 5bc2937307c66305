// Verification of an image folder: every archive and part file the catalogues name
// opens, every block of every entry decompresses to the entry's size, block counts and
// stored lengths agree with the blocks, and ALL.CRC lists exactly the entries the
// archives hold. Nothing is extracted or written; each archive and part file is read
// once, in order.
//
// The folder given is a partition folder (BASE.XML, ALL.CRC, archives) or a tree that
// holds partition folders (a PRELOAD tree or the folder above it), each verified on its
// own. Lengths and names read from the image are data: a hostile image yields findings,
// and nothing outside the folder is opened (links in the image are reported, never
// followed).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/text.h"
#include "vantrel/types.h"

namespace orv {

// One thing that is wrong.
struct VerifyFinding {
  WString file;     // the file of the partition folder, such as BASE_01.INP or ALL.CRC
  WString entry;    // the archive entry or catalogue name concerned; empty for the file
  WString problem;  // what is wrong, in words
  DWORD error = 0;  // the Windows or library code behind it, 0 when there is none
};

struct FolderVerification {
  WString folder;
  uint32_t archives = 0;     // archive and WIM files checked
  uint64_t entries = 0;      // archive entries checked
  uint64_t storedBytes = 0;  // bytes of entry data read
  // False when the folder holds a WIM file or a sector image, whose entries are not
  // listed here: ALL.CRC is then not compared with the archives.
  bool catalogueCompared = true;
  std::vector<VerifyFinding> findings;
};

struct ImageVerification {
  DWORD error = 0;  // the folder cannot be opened or read
  bool cancelled = false;
  std::vector<FolderVerification> folders;  // none: the folder holds no partition folder
  bool AllWell() const;
};

// Progress: the bytes read so far and the bytes of all archive and part files to read;
// returning false cancels.
using VerifyProgress = std::function<bool(uint64_t done, uint64_t total)>;

ImageVerification VerifyImage(WStringView imageDir, const VerifyProgress& progress);

}  // namespace orv
