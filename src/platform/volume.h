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

// Whether a drive letter names anything: a volume, a drive without its medium, a
// network drive (on Linux: a mapped folder).
bool DriveLetterInUse(Char letter);

// The root ("C:\") of the first local volume that can hold the folder an image is
// mounted into: on Windows a fixed NTFS drive, where the imaging interface mounts; on
// Linux the first mapped drive the caller may write to, else the temporary folder
// (images mount through FUSE, on any file system). 15 when there is none.
DWORD FindImageMountVolume(WString& root);

// The drive-letter table. On Windows the letters are the system's own and SetDriveFolder
// fails with 50. On Linux a letter names a folder: "C:\dir" resolves to "<folder>/dir".
// The table starts from the environment variable VANTREL_DRIVES ("C=/mnt/c;D=/srv/d").
DWORD SetDriveFolder(Char letter, WStringView nativeFolder);
WString GetDriveFolder(Char letter);  // empty when the letter is not mapped
// Records the size of the partition a mapped letter stands for (0 forgets it), kept in
// VANTREL_DRIVE_SIZES beside the folders; mapping the letter to another folder or to
// none forgets it too. GetFreeSpace then answers for the partition rather than for the
// file system that holds the folder. 15 when the letter is not mapped; 50 on Windows.
DWORD SetDriveSize(Char letter, uint64_t bytes);
// The drive path ("C:\Users") that names a folder given in the system's own form (on
// Linux a native folder, relative ones from the current folder; the mapped folder that
// holds it most closely gives the letter). 15 when no drive holds it. On Windows a
// folder given with its drive letter is named by itself.
DWORD DrivePathOfFolder(WStringView folder, WString& drivePath);

}  // namespace orv::os
