#include "services/ntfs.h"

#include <algorithm>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/raw_volume.h"
#include "platform/whole_io.h"
#include "services/ntfs_attribute_list.h"
#include "services/ntfs_compressed.h"
#include "services/ntfs_lookup.h"

namespace orv {

namespace {

constexpr DWORD kCopyChunk = 1024 * 1024;

bool IsSeparator(Char c) { return c == '\\' || c == '/'; }

// A path that names its own root ("C:\x", "/x", "\\server\x") rather than one below the
// volume root.
bool IsAbsolute(WStringView path) {
  return (!path.empty() && IsSeparator(path[0]) && path.size() > 1 && IsSeparator(path[1])) ||
         (!path.empty() && path[0] == '/') || (path.size() > 1 && path[1] == ':');
}

}  // namespace

BOOL COrvNtfs::Fail(DWORD error) {
  m_Error.SetError(error);
  return error == 0;
}

BOOL COrvNtfs::OpenVolume(WStringView root) {
  CloseVolume();
  if (!Fail(volume_.Open(root))) return FALSE;
  root_ = root;
  while (root_.size() > 1 && IsSeparator(root_.back())) root_.pop_back();
  return TRUE;
}

BOOL COrvNtfs::OpenVolume(std::unique_ptr<ntfs::SectorSource> source) {
  CloseVolume();
  return Fail(volume_.Open(std::move(source)));
}

void COrvNtfs::CloseVolume() {
  volume_.Close();
  paths_.Clear();
  root_.clear();
  cursor_ = 0;
}

uint64_t COrvNtfs::GetFileReferenceNumber(WStringView path) {
  if (!volume_.IsOpen() || root_.empty()) return Fail(err::kInvalidHandle);
  WString full(path);
  if (!IsAbsolute(path)) {
    while (!path.empty() && IsSeparator(path.front())) path.remove_prefix(1);
    full = root_ + ORV_T("\\") + WString(path);
  }
  uint64_t reference = 0;
  DWORD error = os::GetFileReference(full, reference);
  if (error == err::kSharingViolation || error == err::kAccessDenied)
    error = ReferenceThroughTable(full, reference);
  return Fail(error) ? reference : 0;
}

// A file that no open reaches is looked up by name in the table, below the folder that
// holds it (folders can always be opened for their number).
DWORD COrvNtfs::ReferenceThroughTable(const WString& path, uint64_t& reference) {
  const size_t cut = path.find_last_of(ORV_T("\\/"));
  if (cut == WString::npos || cut + 1 == path.size()) return err::kAccessDenied;
  uint64_t folder = 0;
  if (os::GetFileReference(path.substr(0, cut == 0 ? 1 : cut), folder) != 0)
    return err::kAccessDenied;
  return ntfs::FindChild(volume_, folder, WStringView(path).substr(cut + 1), reference);
}

BOOL COrvNtfs::CopyFileMFT(uint64_t fileReference, WStringView target) {
  if (!volume_.IsOpen()) return Fail(err::kInvalidHandle);
  std::vector<uint8_t> record;
  ntfs::FileFacts facts;
  DWORD error = volume_.ReadRecord(ntfs::RecordOf(fileReference), record);
  if (error == 0) error = ntfs::ReadFileFacts(record, facts);
  if (error != 0) return Fail(error);
  // A reference to a free record, an extension record or an earlier file that once used
  // the record names no file now.
  const uint16_t sequence = ntfs::SequenceOf(fileReference);
  if (!facts.inUse || !facts.isBase || (sequence != 0 && sequence != facts.sequence))
    return Fail(err::kFileNotFound);
  if (facts.isDirectory) return Fail(err::kDirectory);
  ntfs::FileData data;
  const ntfs::Geometry& geometry = volume_.geometry();
  error = ntfs::LocateFileData(record, geometry.totalClusters, geometry.clusterSize, data);
  if (error == err::kNotSupported && data.listed)
    error = ntfs::ReadListedData(volume_, ntfs::RecordOf(fileReference), record, data);
  if (error != 0) return Fail(error);
  return Fail(CopyData(data, target));
}

DWORD COrvNtfs::CopyData(const ntfs::FileData& data, WStringView target) {
  const ntfs::Geometry& geometry = volume_.geometry();
  const uint64_t clusterSize = geometry.clusterSize;
  const uint64_t unitBytes = uint64_t{data.unitClusters} * clusterSize;
  // Compressed streams go unit by unit; units beyond the size of a copy step are refused.
  if (unitBytes > kCopyChunk) return err::kNotSupported;
  // No file of the volume is larger than the volume: a size beyond it is damage (or a
  // trap), never a reason to write petabytes of zeros.
  if (data.size > geometry.totalClusters * clusterSize) return err::kFileCorrupt;
  os::File copy;
  if (const DWORD error = copy.Open(target, os::kGenericWrite, 0, os::Disposition::kCreateAlways))
    return error;
  if (data.resident)
    return os::WriteAll(copy, data.value.data(), static_cast<DWORD>(data.value.size()));
  const uint64_t step = data.unitClusters ? unitBytes : kCopyChunk;
  std::vector<uint8_t> buffer(static_cast<size_t>(step));
  std::vector<uint8_t> stored;
  for (uint64_t offset = 0; offset < data.size;) {
    const DWORD chunk = static_cast<DWORD>(std::min<uint64_t>(step, data.size - offset));
    // Bytes past the valid length are zeros whatever the clusters hold.
    const DWORD valid =
        offset >= data.initialized
            ? 0
            : static_cast<DWORD>(std::min<uint64_t>(chunk, data.initialized - offset));
    // A stretch without clusters on the volume (or past the valid length) reads as zeros
    // and stays a hole in the copy: nothing is written there.
    const uint64_t firstCluster = offset / clusterSize;
    const uint64_t clusters = (uint64_t{chunk} + clusterSize - 1) / clusterSize;
    if (valid == 0 || ntfs::AllocatedClusters(data.extents, firstCluster, clusters) == 0) {
      offset += chunk;
      continue;
    }
    const DWORD error =
        data.unitClusters
            ? ntfs::ReadCompressedUnit(volume_, data, offset / step, stored, buffer.data())
            : volume_.ReadExtents(data.extents, offset, buffer.data(), valid);
    if (error) return error;
    std::fill(buffer.begin() + valid, buffer.begin() + chunk, uint8_t{0});
    if (const DWORD written = os::WriteAllAt(copy, offset, buffer.data(), chunk)) return written;
    offset += chunk;
  }
  // The copy ends where the file does, holes included.
  if (const DWORD error = copy.Seek(static_cast<int64_t>(data.size), os::SeekFrom::kBegin))
    return error;
  return copy.SetEnd();
}

BOOL COrvNtfs::FindFirstEntry(NtfsEntry& entry) {
  cursor_ = 0;
  return FindNextEntry(entry);
}

BOOL COrvNtfs::FindNextEntry(NtfsEntry& entry) {
  if (!volume_.IsOpen()) return Fail(err::kInvalidHandle);
  std::vector<uint8_t> record;
  ntfs::FileFacts facts;
  for (; cursor_ < volume_.RecordCount(); ++cursor_) {
    const DWORD error = volume_.ReadRecord(cursor_, record);
    if (error == err::kFileCorrupt) continue;
    if (error != 0) return Fail(error);
    if (ntfs::ReadEntryFacts(volume_, cursor_, record, facts) != 0 || !facts.inUse ||
        !facts.isBase || !facts.hasName || !paths_.PathOf(volume_, cursor_, facts, entry.path))
      continue;
    entry.fileReference = (uint64_t{facts.sequence} << 48) | cursor_;
    entry.attributes = facts.attributes;
    ++cursor_;
    return Fail(err::kSuccess);
  }
  return Fail(err::kNoMoreFiles);
}

}  // namespace orv
