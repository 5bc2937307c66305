#include "services/ntfs_volume.h"

#include <algorithm>
#include <cstring>

#include "platform/errors.h"
#include "platform/raw_volume.h"
#include "services/ntfs_attribute_list.h"
#include "services/ntfs_file.h"

namespace orv::ntfs {

namespace {

// Far more records than any volume this library backs up holds; a table that claims
// more is damaged.
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
  mft_ = std::move(data.extents);
  records_ = data.size / geometry_.recordSize;
  // Records 0 to 5 hold the table itself and the root folder.
  if (records_ <= 5 || records_ > kMaxRecords) return err::kFileCorrupt;
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
    const auto extent = std::find_if(extents.begin(), extents.end(), [&](const Extent& e) {
      return cluster >= e.vcn && cluster - e.vcn < e.length;
    });
    if (extent == extents.end()) return err::kFileCorrupt;
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
