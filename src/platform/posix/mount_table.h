// The mount table of the process (/proc/self/mountinfo), read in one place.
#pragma once

#include <string>
#include <vector>

namespace orv::os::posix {

struct MountEntry {
  std::string device;      // "major:minor"
  std::string root;        // the folder of the file system mounted here ("/" for all of it)
  std::string mountPoint;  // unescaped
  std::string type;        // "ext4", "fuse", ...
  std::string source;      // the device or image file, unescaped
  bool readOnly = false;   // mounted "ro": nothing can change below it
};

// The mounts in the order they were made; empty when the table cannot be read.
std::vector<MountEntry> ReadMountTable();

}  // namespace orv::os::posix
