// The label of an NTFS volume, read from the device or image file that holds it: the
// boot sector locates the master file table, whose record 3 ($Volume) carries the
// label as a resident $VOLUME_NAME attribute. Every offset and length read from the
// volume is checked against the record before it is used.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/errors.h"
#include "platform/little_endian.h"
#include "platform/posix/descriptor.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/ntfs3g.h"

namespace orv::os::posix {

namespace {

constexpr size_t kBootSectorSize = 512;
constexpr char kNtfsOem[] = "NTFS    ";
constexpr uint64_t kVolumeRecord = 3;
constexpr uint32_t kVolumeNameType = 0x60;
constexpr uint32_t kEndType = 0xFFFFFFFF;
// Update sequence fix-ups protect the last two bytes of every 512-byte stride.
constexpr size_t kFixupStride = 512;
constexpr size_t kMaxRecordSize = 64 * 1024;

bool ReadAt(int fd, uint64_t offset, std::vector<uint8_t>& buffer) {
  size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t got =
        pread(fd, buffer.data() + done, buffer.size() - done, static_cast<off_t>(offset + done));
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

// Sizes from the boot sector; false when it is no NTFS boot sector.
bool Geometry(const std::vector<uint8_t>& boot, uint64_t& mftOffset, size_t& recordSize) {
  if (std::memcmp(&boot[3], kNtfsOem, 8) != 0) return false;
  const uint32_t bytesPerSector = LoadLE<uint16_t>(&boot[0x0B]);
  const uint8_t sectorsCode = boot[0x0D];
  if (bytesPerSector < 256 || bytesPerSector > 4096) return false;
  // Above 128 the code is a negative power of two (clusters beyond 64 KiB).
  const uint64_t sectorsPerCluster =
      sectorsCode <= 0x80 ? sectorsCode : uint64_t{1} << (256 - sectorsCode);
  if (sectorsPerCluster == 0 || sectorsPerCluster > 4096) return false;
  const uint64_t clusterSize = bytesPerSector * sectorsPerCluster;
  const auto recordCode = static_cast<int8_t>(boot[0x40]);
  const uint64_t size = recordCode < 0 ? (-recordCode < 31 ? uint64_t{1} << -recordCode : 0)
                                       : recordCode * clusterSize;
  const uint64_t mftCluster = LoadLE<uint64_t>(&boot[0x30]);
  if (size < kFixupStride || size > kMaxRecordSize || mftCluster > (UINT64_MAX / clusterSize))
    return false;
  mftOffset = mftCluster * clusterSize;
  recordSize = static_cast<size_t>(size);
  return true;
}

// Puts back the bytes the update sequence stands in for; false when a stride does not
// carry the sequence number (a torn or foreign record).
bool ApplyFixups(std::vector<uint8_t>& record) {
  const size_t arrayAt = LoadLE<uint16_t>(&record[4]);
  const size_t count = LoadLE<uint16_t>(&record[6]);
  if (count < 2 || (count - 1) * kFixupStride > record.size() ||
      arrayAt + 2 * count > record.size())
    return false;
  for (size_t i = 1; i < count; ++i) {
    uint8_t* tail = &record[i * kFixupStride - 2];
    if (std::memcmp(tail, &record[arrayAt], 2) != 0) return false;
    std::memcpy(tail, &record[arrayAt + 2 * i], 2);
  }
  return true;
}

// The value of the resident $VOLUME_NAME attribute; false when the record has none.
bool VolumeName(const std::vector<uint8_t>& record, WString& label) {
  size_t at = LoadLE<uint16_t>(&record[0x14]);
  while (at + 8 <= record.size()) {
    const uint32_t type = LoadLE<uint32_t>(&record[at]);
    const uint32_t length = LoadLE<uint32_t>(&record[at + 4]);
    if (type == kEndType || length < 0x18 || length > record.size() - at) return false;
    if (type == kVolumeNameType && record[at + 8] == 0) {
      const uint32_t valueLength = LoadLE<uint32_t>(&record[at + 0x10]);
      const uint16_t valueAt = LoadLE<uint16_t>(&record[at + 0x14]);
      if (valueAt > length || valueLength > length - valueAt) return false;
      label.clear();
      for (size_t i = 0; i + 1 < valueLength; i += 2)
        label += static_cast<Char>(LoadLE<uint16_t>(&record[at + valueAt + i]));
      return true;
    }
    at += length;
  }
  return false;
}

}  // namespace

DWORD ReadNtfsLabel(const std::string& source, WString& label) {
  label.clear();
  const Descriptor fd(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return LastError();
  std::vector<uint8_t> boot(kBootSectorSize);
  if (!ReadAt(fd.get(), 0, boot)) return err::kInvalidData;
  uint64_t mftOffset;
  size_t recordSize;
  if (!Geometry(boot, mftOffset, recordSize)) return err::kInvalidData;
  std::vector<uint8_t> record(recordSize);
  if (!ReadAt(fd.get(), mftOffset + kVolumeRecord * recordSize, record)) return err::kInvalidData;
  if (std::memcmp(record.data(), "FILE", 4) != 0 || !ApplyFixups(record)) return err::kFileCorrupt;
  // A volume without a label keeps the attribute empty or leaves it out.
  VolumeName(record, label);
  return err::kSuccess;
}

}  // namespace orv::os::posix
