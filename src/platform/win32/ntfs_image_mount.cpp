// Windows offers the library no way to mount a file system held in a file.
#include "platform/ntfs_image_mount.h"

#include "platform/errors.h"

namespace orv::os {

bool CanMountNtfsImages() { return false; }
DWORD MountNtfsImage(const NtfsImageMount&, WStringView) { return err::kNotSupported; }
DWORD UnmountNtfsImage(WStringView) { return err::kNotSupported; }

}  // namespace orv::os
