// Checking the current entry's stored content without writing it anywhere: what a
// verification of a whole image does for every entry, in the order of the archive.
#include "archive/content_sink.h"
#include "archive/deflate_file.h"
#include "archive/lzo_blocks.h"
#include "archive/morlet.h"
#include "platform/errors.h"
#include "platform/little_endian.h"

namespace orv {

using namespace archive;

BOOL COrvMorlet::CheckCurrentContent(uint64_t& storedBytes) {
  storedBytes = 0;
  if (!IsOpen()) return Fail(ORV_ERROR_ARCHIVE_NOT_OPEN);
  if (IsV56() && V56().streaming) return Fail(err::kBadCommand);
  DWORD error = ORV_ERROR_NOT_SUPPORTED;
  if (IsV56())
    error = CheckContentV56(storedBytes);
  else if (type_ == kTypeVersion1 || type_ == kTypeVersion2)
    error = CheckContentV12(storedBytes);
  return error ? Fail(error) : Succeed();
}

DWORD COrvMorlet::CheckContentV56(uint64_t& storedBytes) {
  V56State& v56 = V56();
  const DWORD attributes = v56.record.attributes.dwFileAttributes;
  v56.checkReader.Init(path_, LastKnownPart());
  if (attributes & os::kAttrReparsePoint) {
    if (DWORD error = v56.checkReader.Open(v56.record.dataPart, v56.record.dataOffset,
                                           ORV_T("ReadFile failed - part#%u - %u")))
      return error;
    std::vector<uint8_t> data;
    if (DWORD error = v56.checkReader.ReadBlock(data, kReparseBufferSize)) return error;
    storedBytes = data.size() + 4;
    return err::kSuccess;
  }
  if (attributes & os::kAttrDirectory) return err::kSuccess;
  ContentDiscard discard;
  return DecompressBlocks(v56.checkReader, v56.record, buffers_, discard, storedBytes);
}

DWORD COrvMorlet::CheckContentV12(uint64_t& storedBytes) {
  uint64_t offset = 0;
  uint64_t stored = 0;
  uint64_t size = 0;
  if (std::holds_alternative<V2State>(state_)) {
    const V2State& v2 = V2();
    if (v2.currentEntry >= v2.entries.size()) return err::kNoMoreItems;
    const V2Entry& entry = v2.entries[v2.currentEntry];
    offset = entry.dataOffset;
    stored = entry.storedLength;
    size = ContentSizeOf(entry.attributes);
  } else {
    // The table offset of the current entry and its fixed fields lie inside the table.
    const V1State& v1 = V1();
    if (v1.currentEntry + kV1EntryFixed > v1.tableUsed) return err::kNoMoreItems;
    const uint8_t* p = v1.table.data() + v1.currentEntry;
    stored = LoadLE<uint64_t>(p + 36);
    offset = LoadLE<uint64_t>(p + 44);
    size = SizeOf(current_.attributes);
  }
  const DWORD attributes = current_.attributes.dwFileAttributes;
  if (attributes & os::kAttrReparsePoint) {
    std::vector<uint8_t> data;
    if (DWORD error = ReadReparseRecordV12(offset, data)) return error;
    storedBytes = data.size() + 4;
    return err::kSuccess;
  }
  if (attributes & os::kAttrDirectory) return err::kSuccess;
  ContentDiscard discard;
  uint64_t written = 0;
  if (DWORD error = main_.Seek(static_cast<int64_t>(offset), os::SeekFrom::kBegin)) return error;
  if (DWORD error = InflateFile(main_, stored, size, discard, buffers_, written)) return error;
  storedBytes = stored;
  return size != kAnySize && written != size ? err::kFileCorrupt : err::kSuccess;
}

}  // namespace orv
