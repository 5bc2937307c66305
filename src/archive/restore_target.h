// Creating files in a restore target: every file an extraction writes, from an archive
// or from a mounted image, is made here and nowhere else.
//
// A file is written under a fresh short name beside its target, created exclusively and
// never through a link, and moves over the target only once it is complete: a failed
// write leaves what was there, a name that an earlier entry made a link is replaced
// rather than written through, and names too long to take a suffix still come back.
// The folders are opened once and the names looked up in the open folder; a folder
// below the caller's target is opened from the target down, one name at a time.
#pragma once

#include <functional>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "platform/target_folder.h"

namespace orv::archive {

class RestoreTarget {
 public:
  // Writes the staging file open in `file`, whose path is `stagingPath`; may close it
  // (to make it a link, say). Returns an error code.
  using Fill = std::function<DWORD(os::File& file, const WString& stagingPath)>;

  // Makes the file `target`, whose folder exists, from what `fill` writes.
  DWORD WriteFile(WStringView target, const Fill& fill);
  // Creates `path` as a new file; an entry already there (a link included) is removed
  // first, never followed.
  DWORD CreateExclusive(WStringView path, os::File& file);
  // Removes the entry `path` itself.
  DWORD Remove(WStringView path);
  // Imports the raw encrypted stream held in `staging` as the encrypted file `target`:
  // the import makes a fresh name, which then replaces `target`.
  DWORD ImportEncrypted(WStringView staging, WStringView target);
  // The folder the caller restores into, and the library's own staging folder: they may
  // be reached through a link; every other folder is refused when it is one.
  void Trust(WStringView folder) { trusted_.emplace(folder); }

 private:
  // The open folder that holds `path`, and the final name of `path` in it.
  DWORD FolderOf(WStringView path, os::TargetFolder*& folder, WString& name);
  // The folder `folderPath`, held open; a folder below a trusted one is opened from it.
  DWORD HeldFolder(WStringView folderPath, os::TargetFolder*& folder);
  // The longest trusted folder that `folderPath` lies below; null when none.
  const WString* TrustedAbove(WStringView folderPath) const;

  // The most recently used folders, the latest last; a few, since entries come folder
  // by folder.
  std::vector<std::pair<WString, std::unique_ptr<os::TargetFolder>>> folders_;
  std::unordered_set<WString> trusted_;
};

}  // namespace orv::archive
