// A watch over whole folder trees that reports what happens to their entries while the
// system runs: entries created, written, deleted, renamed, their attributes changed.
// On Linux through fanotify or inotify (posix/folder_watch.cpp says which is chosen);
// not available on Windows (50), where the system's own file monitor does this work.
#pragma once

#include <memory>
#include <vector>

#include "platform/file.h"

namespace orv::os {

struct FolderEvent {
  enum class Kind {
    kCreated,     // new, or moved into the tree (a folder with everything below it)
    kWritten,
    kDeleted,     // deleted, or moved away (a rename is a delete and a create)
    kAttributes,  // attributes, times or ownership
    kLost,        // the system dropped events: anything below `path` may have changed
    kRootGone,    // the watched folder itself was deleted or moved away
  };
  Kind kind = Kind::kWritten;
  // The entry in the form the caller gave its root ("C:\dir\x"). When `error` is
  // kInvalidName a native name has no such form (it holds "\" or is not UTF-8) and
  // `path` is the native path, for a message.
  WString path;
  DWORD error = 0;
  bool isFolder = false;
  // The entry as found when the event was read; `found` is false when it was already
  // gone (and always for kDeleted). Links are described as themselves.
  bool found = false;
  FileInfo info;
};

class FolderWatch {
 public:
  virtual ~FolderWatch() = default;

  // How it watches ("inotify", "fanotify"), for messages.
  virtual const char* Mechanism() const = 0;

  // Watches `folder` (a native folder) and every folder below it, never following a
  // link; its entries are reported below `givenRoot` ("C:\" or "C:\Users"). A
  // sub-folder that cannot be watched is reported in `unwatched` and the rest go on.
  virtual DWORD Add(WStringView folder, WStringView givenRoot, std::vector<FolderEvent>& unwatched) = 0;

  // Waits up to `milliseconds` for events and appends those that have come (not
  // necessarily all that are queued) to `events`; a signal ends the wait early.
  virtual DWORD Wait(DWORD milliseconds, std::vector<FolderEvent>& events) = 0;
};

DWORD CreateFolderWatch(std::unique_ptr<FolderWatch>& watch);

}  // namespace orv::os
