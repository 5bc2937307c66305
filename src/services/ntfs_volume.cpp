#include "services/ntfs_volume.h"

#include <algorithm>
#include <cstring>

#include "platform/errors.h"
#include "platform/raw_volume.h"
#include "services/ntfs_attribute_list.h"
#include "services/ntfs_file.h"

namespace orv::ntfs {

namespace {

// Record numbers are 32-bit in the file references the library hands out (and in the
// count it reports): a table that claims 2^32 records or more is damaged.
constexpr uint64_t kMaxRecords = uint64_t{1} << 32;

class RawSource : public SectorSource {
 public:
  explicit RawSource(os::RawVolume raw) : raw_(std::move(raw)) {}
  DWORD Read(uint64_t offset, void* buffer, DWORD size) override {
    return raw_.Read(offset, buffer, size);
  }

 private:
  os::RawVolume raw_;
};

}  // namespace

DWORD Volume::Open(WStringView root) {
  Close();
  os::RawVolume raw;
  if (const DWORD error = raw.Open(root)) return error;
  return Open(std::make_unique<RawSource>(std::move(raw)));
}

DWORD Volume::Open(std::unique_ptr<SectorSource> source) {
  Close();
  source_ = std::move(source);
  uint8_t boot[kBootSectorSize];
  DWORD error = source_->Read(0, boot, sizeof boot);
  if (error == 0) error = ReadBootSector(boot, geometry_);
  if (error == 0) error = CheckExtent();
  if (error == 0) error = LoadMftRuns();
  if (error != 0) Close();
  return error;
}

void Volume::Close() {
  source_.reset();
  geometry_ = Geometry{};
  mft_.clear();
  records_ = 0;
}

// The volume must hold what its boot sector claims: its last sector can be read. A boot
// sector that claims more (a small image posing as a huge volume) would let every size
// derived from it, of the table and of the files, run beyond the bytes there are.
DWORD Volume::CheckExtent() {
  std::vector<uint8_t> sector(geometry_.sectorSize);
  const uint64_t end = geometry_.totalClusters * geometry_.clusterSize;
  const DWORD error = source_->Read(end - geometry_.sectorSize, sector.data(), geometry_.sectorSize);
  return error == err::kHandleEof ? err::kFileCorrupt : error;
}

// The first record of the table describes the table itself: its unnamed data attribute
// lists the clusters of every record. A table in so many pieces that its runs continue
// in extension records has an attribute list; those records lie in the first pieces.
DWORD Volume::LoadMftRuns() {
  std::vector<uint8_t> record(geometry_.recordSize);
  if (const DWORD error = source_->Read(geometry_.mftCluster * geometry_.clusterSize,
                                        record.data(), geometry_.recordSize))
    return error;
  if (const DWORD error = ApplyFixups(record)) return error;
  FileData data;
  DWORD error = LocateFileData(record, geometry_.totalClusters, geometry_.clusterSize, data);
  if (error == err::kNotSupported && data.listed) {
    // The records the first run list covers are readable while the others are found.
    mft_ = data.extents;
    records_ = CoveredClusters(mft_) * geometry_.clusterSize / geometry_.recordSize;
    error = ReadListedData(*this, 0, record, data);
  }
  // The table is never resident nor compressed: a record that says so is damaged.
  if (error == 0 && (data.resident || data.unitClusters != 0)) error = err::kFileCorrupt;
  if (error != 0) return error == err::kFileNotFound ? err::kFileCorrupt : error;
  // Every record of the table lies on the volume: a table with unallocated stretches
  // could claim any number of records without a cluster behind them.
  for (const Extent& extent : data.extents)
    if (extent.sparse) return err::kFileCorrupt;
  mft_ = std::move(data.extents);
  records_ = data.size / geometry_.recordSize;
  // Records 0 to 5 hold the table itself and the root folder.
  if (records_ <= 5 || records_ >= kMaxRecords ||
      data.size > geometry_.totalClusters * geometry_.clusterSize)
    return err::kFileCorrupt;
  return err::kSuccess;
}

DWORD Volume::ReadRecord(uint64_t number, std::vector<uint8_t>& record) {
  if (number >= records_) return err::kFileNotFound;
  record.resize(geometry_.recordSize);
  if (const DWORD error =
          ReadExtents(mft_, number * geometry_.recordSize, record.data(), geometry_.recordSize))
    return error;
  return ApplyFixups(record);
}

DWORD Volume::ReadExtents(const std::vector<Extent>& extents, uint64_t offset, uint8_t* buffer,
                          DWORD size) {
  const uint64_t clusterSize = geometry_.clusterSize;
  while (size > 0) {
    const uint64_t cluster = offset / clusterSize;
    const Extent* extent = FindExtent(extents, cluster);
    if (extent == nullptr) return err::kFileCorrupt;
    const uint64_t within = (cluster - extent->vcn) * clusterSize + offset % clusterSize;
    const uint64_t left = extent->length * clusterSize - within;
    const DWORD chunk = static_cast<DWORD>(std::min<uint64_t>(size, left));
    if (extent->sparse) {
      std::memset(buffer, 0, chunk);
    } else if (const DWORD error =
                   source_->Read(extent->lcn * clusterSize + within, buffer, chunk)) {
      return error == err::kHandleEof ? err::kFileCorrupt : error;
    }
    buffer += chunk;
    offset += chunk;
    size -= chunk;
  }
  return err::kSuccess;
}

}  // namespace orv::ntfs
