// Sector images and new virtual disks shown as drives: the image's file system mounted
// at a folder of its own in the temporary folder ("lamina-<letter>-<process>-<n>"), and
// the drive letter mapped to that folder in the volume table. Results are 0 or a Windows
// code; where the system cannot mount images (Windows) every call answers 50 at once.
#pragma once

#include "vantrel/types.h"

namespace orv::lamina {

// Mounts `image` at `drive` (read-only when `readOnly` is nonzero). 85 when the letter is
// in use, 13 when the image is no sound sector image.
DWORD MountImage(const char* drive, const char* image, int readOnly);
// Unmounts what MountImage or CreateAndMountImage mounted at `drive`: 15 when the letter
// is not mapped, 5 when it is mapped to a folder this library did not make.
DWORD UnmountImage(const char* drive);
// Creates a new sector image of `sizeMiB` MiB, formats it with NTFS and mounts it
// read-write at `drive`. The image is one file whatever `splitMiB` asks: a mounted disk
// is one device. 80 when the image exists already.
DWORD CreateAndMountImage(const char* drive, const char* image, DWORD sizeMiB, DWORD splitMiB);

}  // namespace orv::lamina
