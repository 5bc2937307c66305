// The copy of a volume's used sectors into a sector image (sector_image.h).
#pragma once

#include <cstdint>

#include "services/virtual_disk.h"

namespace orv::lamina {

// The results of a copy: 0, or one of these.
enum CloneResult : int {
  kCloneDone = 0,
  kCloneBadArguments = -2,   // no drive, no target, or a mode other than 5
  kCloneNoMemory = -3,
  kCloneVolumeUnreadable = -4,
  kCloneTargetNotCreated = -5,
  kCloneWriteFailed = -6,
  kCloneCancelled = -7,      // the progress routine answered 0
  kCloneStopped = -8,        // the stop event was signalled
  kCloneVolumeDamaged = -10, // the file system's own structures cannot be trusted
};

// Copies the used sectors of `drive` into `target` and its parts of `partBytes` (0: one
// file). The progress routine is called 100 times over the copy. Nothing is left behind
// when the copy does not complete.
int CloneUsedSectors(const char* drive, const char* target, int mode,
                     VirtualDiskLibrary::Progress progress, uint64_t partBytes, HANDLE stopEvent);

}  // namespace orv::lamina
