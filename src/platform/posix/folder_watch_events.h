// What the two folder watches of Linux (inotify, fanotify) share: the trees they watch
// and the events they make of what the kernel reports.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/folder_watch.h"

namespace orv::os::posix {

// A watched tree: its native folder (without a trailing "/") and the form its entries
// are reported in ("C:\" or "C:\Users").
struct WatchedRoot {
  std::string native;
  WString given;
};

// "folder/name", or `name` below the tree's own folder ("").
std::string JoinRelative(const std::string& folder, const std::string& name);

// The event of `kind` for the entry at `relative` below `root`, described as found now
// (nothing is looked at for deletions); a name that has no Windows form makes it an
// kInvalidName event that shows the native path.
FolderEvent EventOf(FolderEvent::Kind kind, const WatchedRoot& root, const std::string& relative,
                    bool isFolder);

// The watches; each fails with the reason the kernel or the privileges refuse it.
DWORD CreateInotifyWatch(std::unique_ptr<FolderWatch>& watch);
DWORD CreateFanotifyWatch(std::unique_ptr<FolderWatch>& watch);

}  // namespace orv::os::posix
