// Linux: the device or image file behind an NTFS volume, for an engine that reads or
// writes the volume's own structures instead of going through a mount (the WIM engine
// in NTFS mode). Such an engine must never touch a volume that a driver has mounted
// read-write: the two would overwrite each other's changes.
#pragma once

#if !defined(_WIN32)
#include <string>

#include "platform/text.h"

namespace orv::os {

struct NtfsSource {
  std::string device;     // the device or image file, native form
  bool mounted = false;   // some mount reads it now
  bool readOnly = false;  // every mount of it is read-only (true when there is none)
};

// The volume whose root is the folder `root`, mounted through ntfs-3g. 50 (not
// supported) when the folder is no such root: a folder inside the volume, another file
// system, a volume mounted some other way.
DWORD FindNtfs3gRootSource(WStringView root, NtfsSource& source);

// A device or image file that holds an NTFS volume, and how it is mounted now. 13
// (invalid data) when it holds no NTFS boot sector; 2 when it does not exist.
DWORD FindNtfsDeviceSource(WStringView device, NtfsSource& source);

}  // namespace orv::os
#endif
