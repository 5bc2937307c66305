// The space of a partition that a mapped folder stands for. The disk service maps the
// letter of a described partition to a plain folder and records the partition's size
// with it; the space of that drive is then the partition's, not that of the file system
// the folder happens to live on, so that counts and progress describe the partition.
#pragma once

#include <optional>
#include <string>

#include "platform/volume.h"

namespace orv::os::posix {

// For a native path on a drive with a recorded size whose folder is no mount point of
// its own: total is the size, free the size less the bytes of the files below the folder
// (counted once per folder for the life of the process), freeToCaller the same but never
// more than `host` grants the caller. nullopt otherwise: a mounted file system answers
// for itself.
std::optional<VolumeSpace> PartitionSpace(const std::string& native, const VolumeSpace& host);

}  // namespace orv::os::posix
