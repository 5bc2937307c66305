// An NTFS volume read through its raw sectors: the boot sector, the master file table
// (found through the runs of its own first record) and the clusters of any extent list.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/text.h"
#include "services/ntfs_boot.h"
#include "services/ntfs_runs.h"

namespace orv::ntfs {

// Where the volume's bytes come from: its raw sectors, or an image held elsewhere.
class SectorSource {
 public:
  virtual ~SectorSource() = default;
  // Exactly `size` bytes at `offset`; 38 when they run past the end.
  virtual DWORD Read(uint64_t offset, void* buffer, DWORD size) = 0;
};

class Volume {
 public:
  // The raw volume at `root` (os::RawVolume). 1005 when the volume is not NTFS, 1392 when
  // its master file table is damaged or the volume is smaller than its boot sector says
  // (or the table claims 2^32 records or more, or clusters it does not have), else the
  // code of the raw open.
  DWORD Open(WStringView root);
  // The volume whose bytes `source` gives.
  DWORD Open(std::unique_ptr<SectorSource> source);
  void Close();
  bool IsOpen() const { return source_ != nullptr; }

  const Geometry& geometry() const { return geometry_; }
  // The records the master file table holds (those its first run list covers).
  uint64_t RecordCount() const { return records_; }
  // The record with that number, fixed up. 1392 when it is damaged, 2 past the end.
  DWORD ReadRecord(uint64_t number, std::vector<uint8_t>& record);
  // `size` bytes at byte `offset` of the attribute the extents describe; sparse
  // stretches read as zeros. 1392 when the extents do not cover the bytes.
  DWORD ReadExtents(const std::vector<Extent>& extents, uint64_t offset, uint8_t* buffer,
                    DWORD size);

 private:
  DWORD CheckExtent();
  DWORD LoadMftRuns();

  std::unique_ptr<SectorSource> source_;
  Geometry geometry_;
  std::vector<Extent> mft_;
  uint64_t records_ = 0;
};

}  // namespace orv::ntfs
