#include "services/ntfs_record.h"

#include <cstring>

#include "platform/errors.h"
#include "services/ntfs_bytes.h"

namespace orv::ntfs {

namespace {

constexpr size_t kStride = 512;
constexpr uint32_t kEndMarker = 0xFFFFFFFF;
constexpr uint32_t kAttributeHeader = 0x18;  // the common and resident header
constexpr uint32_t kNonResidentHeader = 0x40;

}  // namespace

DWORD ApplyFixups(std::vector<uint8_t>& record) {
  const size_t size = record.size();
  if (size < kStride || size % kStride != 0 || std::memcmp(record.data(), "FILE", 4) != 0)
    return err::kFileCorrupt;
  const uint16_t arrayOffset = LoadLE<uint16_t>(&record[4]);
  const uint16_t count = LoadLE<uint16_t>(&record[6]);
  if (count != size / kStride + 1 || arrayOffset % 2 != 0 || arrayOffset < 8 ||
      !Within(arrayOffset, size_t{count} * 2, size))
    return err::kFileCorrupt;
  const uint8_t* check = &record[arrayOffset];
  for (size_t i = 1; i < count; ++i) {
    uint8_t* tail = &record[i * kStride - 2];
    if (tail[0] != check[0] || tail[1] != check[1]) return err::kFileCorrupt;
    tail[0] = check[2 * i];
    tail[1] = check[2 * i + 1];
  }
  return err::kSuccess;
}

DWORD WalkRecord(const std::vector<uint8_t>& record, RecordHeader& header,
                 const std::function<bool(const Attribute&)>& visit) {
  const uint8_t* bytes = record.data();
  if (record.size() < 0x30) return err::kFileCorrupt;
  header.sequence = LoadLE<uint16_t>(bytes + 0x10);
  header.flags = LoadLE<uint16_t>(bytes + 0x16);
  header.baseReference = LoadLE<uint64_t>(bytes + 0x20);
  const uint32_t inUse = LoadLE<uint32_t>(bytes + 0x18);
  const uint32_t end = inUse < record.size() ? inUse : static_cast<uint32_t>(record.size());
  uint32_t offset = LoadLE<uint16_t>(bytes + 0x14);
  while (true) {
    if (!Within(offset, 4, end)) return err::kFileCorrupt;
    const uint32_t type = LoadLE<uint32_t>(bytes + offset);
    if (type == kEndMarker) return err::kSuccess;
    if (!Within(offset, kAttributeHeader, end)) return err::kFileCorrupt;
    const uint8_t* at = bytes + offset;
    const uint32_t length = LoadLE<uint32_t>(at + 4);
    // Each attribute is at least a header long, so the walk always moves on.
    if (length < kAttributeHeader || !Within(offset, length, end)) return err::kFileCorrupt;
    Attribute attribute;
    attribute.type = type;
    attribute.nonResident = at[8] != 0;
    const uint8_t nameLength = at[9];
    const uint16_t nameOffset = LoadLE<uint16_t>(at + 0x0A);
    if (nameLength != 0 && !Within(nameOffset, uint32_t{nameLength} * 2, length))
      return err::kFileCorrupt;
    attribute.named = nameLength != 0;
    attribute.flags = LoadLE<uint16_t>(at + 0x0C);
    if (!attribute.nonResident) {
      attribute.valueSize = LoadLE<uint32_t>(at + 0x10);
      const uint16_t valueOffset = LoadLE<uint16_t>(at + 0x14);
      if (!Within(valueOffset, attribute.valueSize, length)) return err::kFileCorrupt;
      attribute.value = at + valueOffset;
    } else {
      if (length < kNonResidentHeader) return err::kFileCorrupt;
      attribute.firstVcn = LoadLE<uint64_t>(at + 0x10);
      attribute.lastVcn = LoadLE<uint64_t>(at + 0x18);
      const uint16_t runsOffset = LoadLE<uint16_t>(at + 0x20);
      attribute.compressionUnit = LoadLE<uint16_t>(at + 0x22);
      attribute.dataSize = LoadLE<uint64_t>(at + 0x30);
      attribute.initializedSize = LoadLE<uint64_t>(at + 0x38);
      if (runsOffset < kNonResidentHeader || runsOffset > length) return err::kFileCorrupt;
      attribute.runs = at + runsOffset;
      attribute.runsSize = length - runsOffset;
    }
    if (!visit(attribute)) return err::kSuccess;
    offset += length;
  }
}

}  // namespace orv::ntfs
