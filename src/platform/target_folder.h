// A folder that restored files are created in, held open while they are written.
//
// Every file is made under a fresh, unpredictable short name, created exclusively and
// never through a link, and is moved over its final name only when it is complete. The
// move replaces whatever entry holds that name, a link included, and never writes
// through it. On Linux the names are looked up in the open folder itself (openat and
// renameat), so a folder swapped for a link after the check cannot redirect them.
#pragma once

#include <memory>
#include <string>

#include "platform/file.h"
#include "platform/text.h"

namespace orv::os {

class TargetFolder {
 public:
  TargetFolder();
  ~TargetFolder();
  TargetFolder(const TargetFolder&) = delete;
  TargetFolder& operator=(const TargetFolder&) = delete;

  // Opens the existing folder `path`; 123 when it is a link or reparse point (unless
  // `mayBeLink`: the caller's own target folder may be reached through one), 267 when
  // it is no folder.
  DWORD Open(WStringView path, bool mayBeLink = false);
  // Opens the existing folder `relative` ("a\\b") below the open folder `root`. On Linux
  // each folder on the way is opened in the one above it and none may be a link, so a
  // folder swapped for a link at any moment cannot lead the walk out of `root`; 123
  // when one is a link, 3 when one is missing. On Windows the path is opened as Open
  // opens it.
  DWORD OpenBelow(const TargetFolder& root, WStringView relative);
  const WString& Path() const { return path_; }
  // Whether the path still names the folder held open (it may have been removed, or
  // replaced by another folder or a link, since it was opened).
  bool StillAtPath() const;
  WString PathOf(WStringView name) const { return path_ + Char('\\') + WString(name); }

  // A name not in use in this folder, drawn from the system's random source and short
  // whatever the length of the names beside it; nothing is created.
  DWORD FreshName(WString& name);
  // Creates a new file for reading and writing under a fresh name of this folder and
  // returns that name.
  DWORD CreateStaging(File& file, WString& name);
  // Creates the new file `name` for reading and writing. An entry already there (a
  // link left by an earlier attempt, say) is removed, never followed, and the create
  // is tried once more.
  DWORD CreateExclusive(WStringView name, File& file);
  // Moves `from` over `to`, both names in this folder; an existing `to` (spelled in
  // any case) is replaced as an entry.
  DWORD Replace(WStringView from, WStringView to);
  // Removes the entry `name` itself (a link is removed, never what it names).
  DWORD Remove(WStringView name);

 private:
  struct State;  // the backend's open folder

  // Linux: takes the descriptor of the file just created as `native` into `file`.
  DWORD Adopt(int fd, const std::string& native, File& file);

  WString path_;
  std::unique_ptr<State> state_;
};

}  // namespace orv::os
