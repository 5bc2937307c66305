// NTFS file systems held in plain files, mounted at a folder: what the virtual-disk
// library needs of the system to show a sector image or a new virtual disk as a drive.
// Linux attaches a loop device over the bytes (cleared by the kernel once nothing holds
// it any more) and mounts it through ntfs-3g; Windows has no such way here and answers
// 50 to every call.
#pragma once

#include <cstdint>

#include "platform/text.h"

namespace orv::os {

struct NtfsImageMount {
  WString file;         // the file that holds the file system (a native or drive path)
  uint64_t offset = 0;  // where the file system starts in it
  uint64_t size = 0;    // its length in bytes
  bool readOnly = true;
  // Formats the bytes as a new NTFS volume (quick format) before mounting them.
  bool format = false;
};

// Whether this system can mount such file systems at all.
bool CanMountNtfsImages();

// Mounts the file system at `folder`, an empty folder. 50 where the system cannot;
// 2 when ntfs-3g (or mkntfs for a format) is not installed; 1392 when the bytes hold no
// file system ntfs-3g accepts; else the code of the failed step.
DWORD MountNtfsImage(const NtfsImageMount& image, WStringView folder);
// Unmounts what MountNtfsImage mounted at `folder` (the loop device goes with it), also
// when the ntfs-3g that served it has died and the folder answers nothing any more.
// 50 where the system cannot; 1 when `folder` holds no mount of a file system in a file.
DWORD UnmountNtfsImage(WStringView folder);

}  // namespace orv::os
