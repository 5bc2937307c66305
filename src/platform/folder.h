// Folders opened without following links, and deletion relative to them: what a tree
// deletion needs so that nothing it does can be led outside the tree it was given. A
// link (symbolic link, junction, mount point, any reparse point) is never entered: it is
// opened, reported and removed as itself.
//
// Linux: descriptors opened with O_NOFOLLOW | O_DIRECTORY, entries reached with openat
// and removed with unlinkat relative to the open folder. Windows: handles opened with
// FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS and without share-delete (so
// that an open folder cannot be renamed or replaced while it is walked), each entry
// checked through its own handle and deleted through it (FileDispositionInfo).
#pragma once

#include <vector>

#include "platform/file.h"
#include "platform/text.h"

namespace orv::os {

// What an entry of a folder is, seen without following links.
struct FolderEntry {
  WString name;
  bool folder = false;  // a plain folder, not a link
  bool link = false;    // a link or other reparse point (its target is not looked at)
};

// The error an open reports when the entry is a link: it was not entered.
inline constexpr DWORD kStoppedOnLink = 681;  // ERROR_STOPPED_ON_SYMLINK

class Folder {
 public:
  Folder() = default;
  ~Folder();
  Folder(Folder&& other) noexcept;
  Folder& operator=(Folder&& other) noexcept;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  // Opens the folder `path` names. The path is followed as given up to its final entry,
  // which is not: 681 when it is a link, 267 when it is a file, 2 or 3 when missing.
  DWORD Open(WStringView path);
  // Opens the entry `name` of this folder the same way.
  DWORD OpenChild(WStringView name, Folder& child) const;
  // Holds the entry `name` of this folder, a plain folder, open as itself (on Windows for
  // listing, with the backup privilege, since share modes bind only such handles), so
  // that it cannot be renamed or replaced by a link (Windows) while the caller changes
  // its security by path. 681 or 267 when it is
  // no plain folder. The pinned folder answers Identity and Path only.
  DWORD PinChild(WStringView name, Folder& pinned) const;
  bool IsOpen() const { return state_ != nullptr; }
  // The path the folder was reached by, for messages and the release of handles.
  const WString& Path() const { return path_; }

  // The folder's identity, taken before it is deleted: what still names it while
  // another process keeps it pending.
  DWORD Identity(FileIdentity& identity) const;

  // The entries of the folder, without "." and "..".
  DWORD List(std::vector<FolderEntry>& entries) const;
  // Deletes the entry `name` of this folder when it is a file or a link (the link
  // itself); a read-only file loses the attribute first. 5 for a plain folder.
  DWORD DeleteEntry(WStringView name) const;
  // Deletes this folder, which must be empty (145 otherwise), and closes it. A folder
  // that another process holds may stay visible until that process lets go.
  DWORD DeleteSelf();
  void Close();

 private:
  void* state_ = nullptr;
  WString path_;
};

// Deletes the entry at `path` when it is a file or a link, without following it: how a
// link given where a folder was expected goes. 5 for a plain folder.
DWORD DeleteEntryAt(WStringView path);

}  // namespace orv::os
