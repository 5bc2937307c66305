// Where the disk service takes its facts: the disks declared in a description file
// (named by SetDiskDescriptionFile, else by the environment variable VANTREL_DISKS), or
// the system's own disks. The description file lets whole-disk work run on any machine:
// each partition names the folder that serves as its mounted volume.
#pragma once

#include <vector>

#include "services/disk.h"

namespace orv {

struct PartitionFacts {
  uint64_t offset = 0;
  uint64_t size = 0;
  BYTE type = 0;
  bool primary = true;
  bool active = false;
  DWORD number = 0;
  VolumeFacts volume;
};

struct DiskFacts {
  WString name;
  uint64_t size = 0;
  uint64_t sectorSize = 512;
  uint64_t trackSize = 32256;
  uint64_t cylinderSize = 8225280;
  std::vector<PartitionFacts> partitions;  // ordered by offset
};

// Facts of one disk. 2 when there is no disk with that number.
DWORD ReadDiskFacts(DWORD number, DiskFacts& disk);

// Uses the description file at `path` from now on; an empty path goes back to the
// environment variable or the system's disks.
void SetDiskDescriptionFile(WStringView path);
// The description file in use; empty for the system's disks.
WString DiskDescriptionFile();

// The reader of description files (services/disk_description.cpp). 2 when the file has
// no disk with that number, 13 when the file is not a description.
DWORD ReadDescribedDisk(WStringView file, DWORD number, DiskFacts& disk);
// The system's disks (services/disk_system.cpp).
DWORD ReadSystemDisk(DWORD number, DiskFacts& disk);

}  // namespace orv
