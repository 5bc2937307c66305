// What an open archive holds besides its main file, one kind of state per kind of
// archive: versions 1 and 2 (deflate streams and a table of contents after them),
// versions 5 and 6 (entry records, part files and an index), and images read by mounting
// them. Each field means one thing in the kind that has it; the archive object holds the
// state of the kind it opened, and nothing of the others.
#pragma once

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

#include "archive/format.h"
#include "archive/mount_walk.h"
#include "archive/name_tree.h"
#include "archive/part_files.h"
#include "archive/write_behind.h"
#include "platform/dir_search.h"
#include "wim/wim.h"

namespace orv::archive {

// Versions 1 and 2.
struct V12State {
  V12Header header;
  uint64_t mainSize = 0;       // of the main file as it was opened
  uint64_t writePosition = 0;  // where the next entry's data goes
};

// Version 1: the table as stored, walked by byte offset.
struct V1State : V12State {
  std::vector<uint8_t> table;  // grown in 102,400-byte steps while writing
  uint64_t tableUsed = 0;
  uint64_t nextEntry = 0;     // table offset of the entry the walk reads next
  uint64_t currentEntry = 0;  // table offset of the current entry
};

// One entry of a version 2 table, parsed.
struct V2Entry {
  ORVFILEATTRIBUTEDATA attributes{};
  uint64_t storedLength = 0;
  uint64_t dataOffset = 0;
  WString shortName;
  WString name;
  std::vector<uint8_t> descriptor;
  uint16_t descriptorOffset = 92;
};

// Version 2: the table parsed into entries, walked by index, and the room left on the
// volume the archive is written to.
struct V2State : V12State {
  static constexpr size_t kNoEntry = ~size_t{0};
  std::vector<V2Entry> entries;
  size_t nextEntry = 0;
  size_t currentEntry = kNoEntry;
  uint64_t tableBytes = 0;  // the table's size once written
  uint64_t remainingCapacity = 0;
  bool written = false;  // the header and table are written at close
};

// Versions 5 and 6.
struct V56State {
  V56Header header;
  // The end of the main file while its file pointer stands there (appends in a row need
  // no seek); kNoOffset when unknown.
  uint64_t appendAt = kNoOffset;
  PartWriter parts;
  WriteBehind recordsOut;  // entry records on their way to the main file
  bool dirty = false;      // entries were added: the header is rewritten at close
  NameTree tree;
  uint64_t nextRecord = kNoOffset;     // main-file offset of the record the walk reads next
  uint64_t currentRecord = kNoOffset;  // main-file offset of the current entry's record
  EntryRecord record;                  // the current entry's record
  BlockReader checkReader;             // content checks, kept open between entries

  // The streaming read of one entry's raw blocks.
  bool streaming = false;
  uint64_t streamBlocks = 0;
  uint64_t streamRead = 0;
  BlockReader streamReader;
};

// Types 3 and 4: where the image is mounted, the walk of its tree and the entry the walk
// made current, as the folder search gave it.
struct MountedState {
  WString mountPath;
  std::unique_ptr<COrvWim> wim;  // the binding that mounted a WIM image
  MountWalk walk;
  DWORD walkError = 0;
  os::FindData entry;
};

using ArchiveState = std::variant<std::monostate, V1State, V2State, V56State, MountedState>;

}  // namespace orv::archive
