// Finding an entry by name through the master file table, for files that cannot be
// opened even to ask for their file reference number.
#pragma once

#include <cstdint>

#include "platform/text.h"
#include "services/ntfs_volume.h"

namespace orv::ntfs {

// The reference of the entry called `name` (case ignored) in the folder whose reference
// is `folder`, found by a walk of the whole table. 2 when the folder holds no such entry.
DWORD FindChild(Volume& volume, uint64_t folder, WStringView name, uint64_t& reference);

}  // namespace orv::ntfs
