// MRL.XML, the partition layout of an imaged disk: written when the disk is imaged,
// read back before a restore to compare it with the disk that receives the image.
#pragma once

#include <map>

#include "services/disk.h"

namespace orv {

// Bytes in use of each partition offered for capture, by partition number. A partition
// that is not in the table was not captured and is not written.
using UsedSpaceTable = std::map<DWORD, uint64_t>;

// Adds one <disk> element for `disk` (opened and enumerated) to the layout file at
// `path`, creating the file when it is missing. The file is saved once, atomically (a
// failure leaves it as it was); the error is returned for the caller to fail with.
[[nodiscard]] DWORD WriteLayoutFile(WStringView path, const UsedSpaceTable& usedSpace,
                                    const COrvDisk& disk);

// The most partition elements a layout is read with: a GUID partition table holds 128
// entries, a master boot record 4 primary ones and, in practice, far fewer logical
// ones. Further elements are ignored (and logged); a recovery element counts apart.
inline constexpr size_t kMaxLayoutPartitions = 128;

// Fills `disk` with the layout of one <disk> element (by its "Number", or the first one
// for -1) and the free stretches between its partitions. A missing or unreadable file
// gives a layout without partitions. Always returns TRUE and clears `error`.
BOOL LoadLayout(WStringView path, int diskNumber, COrvError& error, COrvDisk& disk);

// The geometry a loaded layout is given before its free space is computed.
inline constexpr uint64_t kLayoutTrackSize = 32256;
inline constexpr uint64_t kLayoutCylinderSize = 8225280;
inline constexpr uint64_t kLayoutSectorSize = 512;

// Adds the free-space records of a loaded layout, primary and logical, and merges
// free neighbours closer than a cylinder.
void ComputeFreeSpace(COrvDisk& disk);

}  // namespace orv
