#include "services/ntfs_file.h"

#include <algorithm>
#include <optional>

#include "platform/errors.h"
#include "services/ntfs_bytes.h"

namespace orv::ntfs {

namespace {

constexpr DWORD kFileEncrypted = 6002;
constexpr uint32_t kNameHeader = 0x42;  // fixed part of a file-name value
constexpr uint8_t kDosNamespace = 2;
constexpr DWORD kDirectoryAttribute = 0x10;
// Compression units of up to 4,096 clusters: far beyond the 16 NTFS uses, and a bound on
// the memory one unit takes.
constexpr uint16_t kLargestUnitShift = 12;

}  // namespace

DWORD ReadFileFacts(const std::vector<uint8_t>& record, FileFacts& facts) {
  facts = FileFacts{};
  RecordHeader header;
  bool haveLongName = false;
  const DWORD error = WalkRecord(record, header, [&](const Attribute& attribute) {
    if (attribute.type == kAttributeList) facts.listed = true;
    if (attribute.nonResident) return true;
    if (attribute.type == kStandardInformation && attribute.valueSize >= 0x24) {
      facts.attributes = LoadLE<uint32_t>(attribute.value + 0x20);
    } else if (attribute.type == kFileName && attribute.valueSize >= kNameHeader &&
               !haveLongName) {
      const uint8_t length = attribute.value[0x40];
      if (uint32_t{length} * 2 > attribute.valueSize - kNameHeader) return true;
      facts.hasName = true;
      haveLongName = attribute.value[0x41] != kDosNamespace;
      facts.parent = LoadLE<uint64_t>(attribute.value);
      facts.name.clear();
      const uint8_t* name = attribute.value + kNameHeader;
      for (uint32_t i = 0; i < length; ++i)
        facts.name.push_back(static_cast<Char>(LoadLE<uint16_t>(name + 2 * i)));
    }
    return true;
  });
  facts.shortNameOnly = facts.hasName && !haveLongName;
  facts.sequence = header.sequence;
  facts.inUse = header.flags & kRecordInUse;
  facts.isDirectory = header.flags & kRecordIsDirectory;
  facts.isBase = header.baseReference == 0;
  if (facts.isDirectory) facts.attributes |= kDirectoryAttribute;
  return error;
}

namespace {

// The unnamed data attribute that starts at `firstVcn`; with `clusterSize` (the whole
// stream) its runs must cover its size.
DWORD LocateData(const std::vector<uint8_t>& record, uint64_t totalClusters,
                 uint64_t firstVcn, std::optional<uint32_t> clusterSize, FileData& data) {
  data = FileData{};
  RecordHeader header;
  DWORD result = err::kFileNotFound;
  bool listed = false;
  const DWORD walked = WalkRecord(record, header, [&](const Attribute& attribute) {
    if (attribute.type == kAttributeList) listed = true;
    if (attribute.type != kData || attribute.named) return true;
    if (attribute.nonResident ? attribute.firstVcn != firstVcn : firstVcn != 0) return true;
    if (attribute.flags & kAttributeEncrypted) {
      result = kFileEncrypted;
    } else if (!attribute.nonResident) {
      data.resident = true;
      data.value.assign(attribute.value, attribute.value + attribute.valueSize);
      data.size = data.initialized = attribute.valueSize;
      result = err::kSuccess;
    } else if ((attribute.flags & kAttributeCompressed) &&
               (attribute.compressionUnit == 0 || attribute.compressionUnit > kLargestUnitShift)) {
      result = err::kNotSupported;
    } else {
      if (attribute.flags & kAttributeCompressed) data.unitClusters = 1u << attribute.compressionUnit;
      result = DecodeRuns(attribute, totalClusters, data.extents);
      // The size must lie within the clusters the runs give, so no read goes past them.
      if (result == 0 && clusterSize &&
          attribute.dataSize > CoveredClusters(data.extents) * *clusterSize)
        result = listed ? err::kNotSupported : err::kFileCorrupt;
      data.size = attribute.dataSize;
      data.initialized = std::min(attribute.initializedSize, attribute.dataSize);
    }
    return false;
  });
  if (walked != 0) return walked;
  data.listed = listed;
  if (result == err::kFileNotFound && listed) return err::kNotSupported;
  return result;
}

}  // namespace

DWORD LocateFileData(const std::vector<uint8_t>& record, uint64_t totalClusters,
                     uint32_t clusterSize, FileData& data) {
  return LocateData(record, totalClusters, 0, clusterSize, data);
}

DWORD LocateDataPiece(const std::vector<uint8_t>& record, uint64_t totalClusters,
                      uint64_t firstVcn, FileData& data) {
  return LocateData(record, totalClusters, firstVcn, std::nullopt, data);
}

}  // namespace orv::ntfs
