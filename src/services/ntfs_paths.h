// Paths of master-file-table entries, built by following each name's parent folder up
// to the root. A chain deeper than any real path (a cycle on a damaged volume), a parent
// that is no folder in use or whose sequence number has changed ends the walk without a
// path. Folders already seen are kept, so a walk of the whole table reads each once.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "services/ntfs_file.h"
#include "services/ntfs_volume.h"

namespace orv::ntfs {

inline constexpr uint64_t kRootRecord = 5;

class PathBuilder {
 public:
  // The path of the entry relative to the root, its components separated by "\"; "."
  // for the root itself. False when the entry cannot be reached from the root.
  bool PathOf(Volume& volume, uint64_t record, const FileFacts& facts, WString& path);
  void Clear() { folders_.clear(); }

 private:
  struct Folder {
    bool usable = false;
    uint16_t sequence = 0;
    uint64_t parent = 0;
    WString name;
  };
  const Folder& FolderAt(Volume& volume, uint64_t record);

  std::unordered_map<uint64_t, Folder> folders_;
};

}  // namespace orv::ntfs
