// Share modes among the handles of this process. Windows checks both directions when a
// file is opened: the new access against the share mode of every open handle, and the
// new share mode against the access of every open handle; delete access is checked
// against share-delete the same way. Only read, write and delete access take part; an
// open for attributes alone neither conflicts nor blocks others.
//
// Linux has no mandatory share modes, so handles in other processes are not seen: two
// processes can still open the same file for writing at once.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <compare>

#include "vantrel/types.h"

namespace orv::os::posix {

struct FileKey {
  uint64_t device = 0;
  uint64_t inode = 0;
  auto operator<=>(const FileKey&) const = default;
};

FileKey KeyOf(const struct statx& st);

// Registers an open unless it conflicts with an open handle (32). `ticket` identifies
// the registration for ReleaseShare; 0 when the open takes no part in sharing.
DWORD AcquireShare(FileKey key, DWORD access, DWORD share, uint64_t& ticket);
void ReleaseShare(FileKey key, uint64_t ticket);

// 32 when deleting or renaming the file would conflict with an open handle that does
// not share delete (DeleteFile and MoveFile open the file for delete, sharing all).
DWORD CheckDeleteShare(FileKey key);

// Whether any handle of this process has the file open for read, write or delete.
bool IsOpenHere(FileKey key);

}  // namespace orv::os::posix
