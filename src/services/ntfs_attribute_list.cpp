#include "services/ntfs_attribute_list.h"

#include <algorithm>

#include "platform/errors.h"
#include "services/ntfs_bytes.h"

namespace orv::ntfs {

namespace {

constexpr uint32_t kEntryHeader = 0x1A;
// A list longer than this would describe more pieces than any file has.
constexpr uint64_t kMaxListSize = 1024 * 1024;

struct Piece {
  uint64_t firstVcn = 0;
  uint64_t reference = 0;
};

// The value of the base record's attribute list, read from the clusters when it is not
// resident. Empty when the record has none.
DWORD ReadListValue(Volume& volume, const std::vector<uint8_t>& base, std::vector<uint8_t>& list) {
  RecordHeader header;
  DWORD error = err::kSuccess;
  const DWORD walked = WalkRecord(base, header, [&](const Attribute& attribute) {
    if (attribute.type != kAttributeList) return true;
    if (!attribute.nonResident) {
      list.assign(attribute.value, attribute.value + attribute.valueSize);
      return false;
    }
    std::vector<Extent> extents;
    const Geometry& geometry = volume.geometry();
    error = DecodeRuns(attribute, geometry.totalClusters, extents);
    if (error == 0 && (attribute.dataSize > kMaxListSize ||
                       attribute.dataSize > CoveredClusters(extents) * geometry.clusterSize))
      error = err::kFileCorrupt;
    if (error == 0) {
      list.resize(attribute.dataSize);
      error = volume.ReadExtents(extents, 0, list.data(), static_cast<DWORD>(list.size()));
    }
    return false;
  });
  return walked != 0 ? walked : error;
}

// The entries of the list for the unnamed attribute of that type, in stream order.
DWORD ListedPieces(const std::vector<uint8_t>& list, uint32_t type, std::vector<Piece>& pieces) {
  for (size_t at = 0; at < list.size();) {
    if (!Within(at, kEntryHeader, list.size())) return err::kFileCorrupt;
    const uint8_t* entry = &list[at];
    const uint16_t length = LoadLE<uint16_t>(entry + 4);
    if (length < kEntryHeader || !Within(at, length, list.size())) return err::kFileCorrupt;
    if (LoadLE<uint32_t>(entry) == type && entry[6] == 0)
      pieces.push_back({LoadLE<uint64_t>(entry + 8), LoadLE<uint64_t>(entry + 0x10)});
    at += length;
  }
  std::sort(pieces.begin(), pieces.end(),
            [](const Piece& a, const Piece& b) { return a.firstVcn < b.firstVcn; });
  return err::kSuccess;
}

DWORD ListedPiecesOf(Volume& volume, const std::vector<uint8_t>& base, uint32_t type,
                     std::vector<Piece>& pieces) {
  std::vector<uint8_t> list;
  if (DWORD error = ReadListValue(volume, base, list)) return error;
  if (DWORD error = ListedPieces(list, type, pieces)) return error;
  return pieces.empty() ? err::kFileNotFound : err::kSuccess;
}

// Reads the record that holds a piece: the base record itself, or one of its extension
// records in use.
DWORD ReadHolder(Volume& volume, uint64_t number, const std::vector<uint8_t>& base,
                 uint64_t reference, std::vector<uint8_t>& record) {
  const uint64_t holder = RecordOf(reference);
  if (holder == number) {
    record = base;
    return err::kSuccess;
  }
  if (DWORD error = volume.ReadRecord(holder, record)) return error;
  RecordHeader header;
  if (DWORD error = WalkRecord(record, header, [](const Attribute&) { return false; }))
    return error;
  if (!(header.flags & kRecordInUse) || RecordOf(header.baseReference) != number)
    return err::kFileCorrupt;
  return err::kSuccess;
}

}  // namespace

DWORD ReadListedName(Volume& volume, uint64_t number, const std::vector<uint8_t>& base,
                     FileFacts& facts) {
  std::vector<Piece> pieces;
  if (DWORD error = ListedPiecesOf(volume, base, kFileName, pieces)) return error;
  std::vector<uint8_t> record;
  for (const Piece& piece : pieces) {
    FileFacts named;
    if (DWORD error = ReadHolder(volume, number, base, piece.reference, record)) return error;
    if (DWORD error = ReadFileFacts(record, named)) return error;
    if (!named.hasName || (facts.hasName && named.shortNameOnly)) continue;
    facts.hasName = true;
    facts.name = std::move(named.name);
    facts.parent = named.parent;
    facts.shortNameOnly = named.shortNameOnly;
    if (!facts.shortNameOnly) break;
  }
  return facts.hasName ? err::kSuccess : err::kFileNotFound;
}

DWORD ReadEntryFacts(Volume& volume, uint64_t number, const std::vector<uint8_t>& base,
                     FileFacts& facts) {
  if (DWORD error = ReadFileFacts(base, facts)) return error;
  if (facts.listed && (!facts.hasName || facts.shortNameOnly))
    ReadListedName(volume, number, base, facts);
  return err::kSuccess;
}

DWORD ReadListedData(Volume& volume, uint64_t number, const std::vector<uint8_t>& base,
                     FileData& data) {
  std::vector<Piece> pieces;
  if (DWORD error = ListedPiecesOf(volume, base, kData, pieces)) return error;
  // The stream must start with a piece at its first cluster, which carries its sizes.
  if (pieces.front().firstVcn != 0) return err::kFileCorrupt;
  data = FileData{};
  std::vector<uint8_t> record;
  for (const Piece& piece : pieces) {
    if (DWORD error = ReadHolder(volume, number, base, piece.reference, record)) return error;
    // Each piece is the unnamed data attribute of its record that starts at its cluster.
    FileData part;
    const DWORD error =
        LocateDataPiece(record, volume.geometry().totalClusters, piece.firstVcn, part);
    if (error != 0) return error;
    if (piece.firstVcn == 0) {
      if (part.resident) return err::kFileCorrupt;
      data.size = part.size;
      data.initialized = part.initialized;
      data.unitClusters = part.unitClusters;
    }
    data.extents.insert(data.extents.end(), part.extents.begin(), part.extents.end());
  }
  if (data.size > CoveredClusters(data.extents) * volume.geometry().clusterSize)
    return err::kFileCorrupt;
  return err::kSuccess;
}

}  // namespace orv::ntfs
