// How the differential scan judges an entry against the reference catalogue.
#pragma once

#include <cstdint>

#include "platform/text.h"
#include "vantrel/types.h"

namespace orv {

// States of a reference-table entry.
inline constexpr DWORD kUnchanged = 0;
inline constexpr DWORD kNew = 1;
inline constexpr DWORD kModified = 2;
inline constexpr DWORD kNotSeen = 4;  // in the reference, not (yet) found on the volume

// A file of the reference, seen again with `size` and the catalogue time `time`. Times
// that differ by whole hours (a time-zone or daylight shift, up to a day) or by exactly
// 5 seconds (the coarse clocks of other file systems) compare by size only.
DWORD FileChange(uint64_t referenceSize, int64_t referenceTime, uint64_t size, int64_t time);

// A reparse-point folder of the reference: modified when its time moved by anything but
// whole hours.
DWORD ReparseFolderChange(int64_t referenceTime, int64_t time);

// Whether the scan leaves the entry out: the system's own files and folders and the
// library's work folder at the volume root, and paths of 240 characters or more.
bool IsLeftOutOfScan(WStringView fullPath);

}  // namespace orv
