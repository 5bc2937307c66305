// Physical disks as the operating system sees them: size, geometry, the partition table
// and the mount point of each partition's volume.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace orv::os {

struct DiskPartitionInfo {
  uint64_t offset = 0;  // bytes from the start of the disk
  uint64_t size = 0;    // bytes
  uint8_t type = 0;     // partition type byte (GPT partitions are given a matching one)
  bool primary = true;  // false for a logical partition inside the extended one
  bool active = false;  // boot flag
  bool recovery = false;
  DWORD number = 0;    // partition number as the system counts it (1-based)
  WString mountPoint;  // a drive root ("C:\") or a native folder; empty when unmounted
  WString device;      // the path that opens the partition's raw sectors
};

struct DiskInfo {
  WString name;
  uint64_t size = 0;
  uint64_t sectorSize = 512;
  uint64_t trackSize = 0;                     // bytes per track
  uint64_t cylinderSize = 0;                  // bytes per cylinder
  std::vector<DiskPartitionInfo> partitions;  // ordered by offset
};

// Whether an entry of an MBR disk's layout, as Windows reports it (the four entries of
// the master boot record first, then four for each extended boot record), only links
// one extended boot record to the next: an extended-partition type (05, 0F, 85) outside
// the master boot record's own four, to which the system gives no partition number. The
// extended partition itself is one of the four and stays.
inline bool IsExtendedLink(size_t index, uint8_t type, DWORD number) {
  return index >= 4 && number == 0 && (type == 0x05 || type == 0x0F || type == 0x85);
}

// The disk with that number (0-based, in the system's order). 2 when there is none,
// 5 when the process may not read it.
DWORD QueryDisk(DWORD number, DiskInfo& disk);

// The first `size` bytes of a partition's raw sectors (its boot sector).
DWORD ReadPartitionStart(WStringView device, void* buffer, DWORD size);

}  // namespace orv::os
