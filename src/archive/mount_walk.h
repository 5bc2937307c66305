// The entries of a mounted image (a virtual disk on a drive, a WIM image in a folder),
// walked depth first: a folder comes before its content, folders that are reparse points
// and "System Volume Information" are reported but not entered, and a finished folder
// search returns to its parent's.
#pragma once

#include <memory>
#include <vector>

#include "platform/dir_search.h"

namespace orv::archive {

class MountWalk {
 public:
  // Starts at the mount path; 259 when it holds nothing.
  DWORD Start(WStringView root);
  void Clear() {
    levels_.clear();
    pending_ = false;
  }

  bool HasEntry() const { return pending_; }
  // The entry under the walk and its path relative to the root ("dir\file").
  const os::FindData& Entry() const { return entry_; }
  const WString& RelativeName() const { return name_; }

  // Moves to the next entry, into the current one first when it is a folder to enter;
  // 259 at the end of the walk.
  DWORD Advance();

 private:
  struct Level {
    std::unique_ptr<os::DirSearch> search;
    WString prefix;  // the folder's path relative to the root, "" for the root
  };

  // Opens the search of the folder `prefix` and takes its first entry; an empty or
  // unreadable folder below the root adds nothing.
  DWORD Enter(const WString& prefix);
  // Takes the next entry of the innermost search that has one.
  DWORD NextInLevels();
  // Takes `found` as the entry when it is not "." or ".."; false to skip it.
  bool Take(os::FindData&& found, const WString& prefix);

  WString root_;
  std::vector<Level> levels_;
  os::FindData entry_;
  WString name_;
  bool pending_ = false;
};

}  // namespace orv::archive
