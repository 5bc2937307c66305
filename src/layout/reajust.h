// Fits a loaded layout to the disk that is to receive it: the recovery partition goes
// where the disk has one (or keeps its place relative to the end of the disk), the
// other partitions are scaled to the new disk size and chained so that each starts
// where the one before it ends.
#pragma once

#include "services/disk.h"

namespace orv {

// `current` is the disk as it is; `layout` is the loaded layout, changed in place.
void ReajustRP(const COrvDisk& current, COrvDisk& layout);

// trunc((value × 100) / oldSize × newSize / 100.0), all in double precision, so that
// no offset wraps; a result past 2^64 - 1 saturates. A zero old size scales nothing.
uint64_t ScaleToDisk(uint64_t value, uint64_t oldSize, uint64_t newSize);

}  // namespace orv
