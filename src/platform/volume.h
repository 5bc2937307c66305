// Volumes: free space, file-system name and label, and the drive-letter table.
#pragma once

#include "platform/file.h"

namespace orv::os {

struct VolumeSpace {
  uint64_t freeToCaller = 0;
  uint64_t total = 0;
  uint64_t free = 0;
};

struct VolumeInfo {
  WString label;
  WString fileSystem;  // "NTFS", "FAT32", "ext4", ...
  DWORD serial = 0;
};

// `path` is any path on the volume ("C:\", "C:\dir\").
DWORD GetFreeSpace(WStringView path, VolumeSpace& space);
DWORD GetVolumeInfo(WStringView path, VolumeInfo& info);

// The drive-letter table. On Windows the letters are the system's own and SetDriveFolder
// fails with 50. On Linux a letter names a folder: "C:\dir" resolves to "<folder>/dir".
// The table starts from the environment variable VANTREL_DRIVES ("C=/mnt/c;D=/srv/d").
DWORD SetDriveFolder(Char letter, WStringView nativeFolder);
WString GetDriveFolder(Char letter);  // empty when the letter is not mapped

}  // namespace orv::os
