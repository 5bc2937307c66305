// Versions 5 and 6: walking the entry records, lookups by name, extraction, the streaming
// read of raw blocks and the security-descriptor records.
#include <algorithm>

#include "archive/item_restore.h"
#include "archive/lzo_blocks.h"
#include "archive/morlet.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "services/log.h"

namespace orv {

using namespace archive;

DWORD COrvMorlet::ReadRecordAt(uint64_t offset, EntryRecord& record) {
  if (offset == kNoOffset) return err::kNoMoreItems;
  if (DWORD error = FlushWrites()) return error;
  return ReadStoredRecord(offset, record);
}

DWORD COrvMorlet::ReadStoredRecord(uint64_t offset, EntryRecord& record) {
  V56State& v56 = V56();
  v56.appendAt = kNoOffset;  // the file pointer leaves the end
  const uint32_t fixed = RecordFixedSize(type_);
  uint8_t bytes[kV6RecordFixed];
  DWORD done = 0;
  if (main_.Seek(static_cast<int64_t>(offset), os::SeekFrom::kBegin) != 0 ||
      main_.Read(bytes, fixed, done) != 0 || done == 0)
    return err::kNoMoreItems;
  uint32_t nameChars = 0;
  if (done != fixed || !DecodeRecordFixed(type_, bytes, record, nameChars))
    return err::kFileCorrupt;
  std::vector<uint8_t> name(2 * size_t{nameChars});
  if (main_.Read(name.data(), static_cast<DWORD>(name.size()), done) != 0 || done != name.size())
    return err::kFileCorrupt;
  WString text = DecodeName(name.data(), nameChars);
  text.resize(std::min({text.find(Char(0)), text.size(), size_t{kMaxNameCopy}}));
  record.name = std::move(text);
  return err::kSuccess;
}

BOOL COrvMorlet::NextEntryV56(int advance) {
  V56State& v56 = V56();
  if (v56.streaming) return Fail(err::kBadCommand);
  EntryRecord record;
  if (DWORD error = ReadRecordAt(v56.nextRecord, record)) return Fail(error);
  v56.record = std::move(record);
  v56.currentRecord = v56.nextRecord;
  MakeCurrent(v56.record.attributes, v56.record.name, SizeOf(v56.record.attributes));
  if (advance) v56.nextRecord += v56.record.recordLength;
  return Succeed();
}

BOOL COrvMorlet::FindNamedEntry(LPCTSTR pstrEntryName) {
  if (!IsOpen()) return Fail(ORV_ERROR_ARCHIVE_NOT_OPEN);
  if (!IsV56() || !V56().tree.IsPresent()) return Fail(ORV_ERROR_NOT_SUPPORTED);
  V56State& v56 = V56();
  if (v56.streaming) return Fail(err::kBadCommand);
  if (pstrEntryName == nullptr) return Fail(ORV_ERROR_ARG1);
  v56.nextRecord = v56.tree.Lookup(pstrEntryName);
  EntryRecord record;
  if (ReadRecordAt(v56.nextRecord, record) != 0) return Fail(err::kNoMoreItems);
  v56.record = std::move(record);
  v56.currentRecord = v56.nextRecord;
  MakeCurrent(v56.record.attributes, v56.record.name, SizeOf(v56.record.attributes));
  return Succeed();
}

BOOL COrvMorlet::ExtractNamedEntry(LPCTSTR lpFileIn, LPCTSTR lpTargetDir) {
  if (lpTargetDir == nullptr) return Fail(ORV_ERROR_ARG1);
  if (lpFileIn == nullptr) return Fail(err::kInvalidParameter);
  if (!IsOpen()) return Fail(ORV_ERROR_ARCHIVE_NOT_OPEN);
  if (IsForeign()) return ExtractFileForeign(lpFileIn, lpTargetDir);
  if (!IsV56() || !V56().tree.IsPresent()) return Fail(ORV_ERROR_NOT_SUPPORTED);
  V56State& v56 = V56();
  if (v56.streaming) return Fail(err::kBadCommand);
  const uint64_t offset = v56.tree.Lookup(lpFileIn);
  EntryRecord record;
  if (offset == kNoOffset || ReadRecordAt(offset, record) != 0) {
    COrvLog::GetInstance().AddError(ORV_T("File %s not found"), WString(lpFileIn));
    return Fail(err::kFileNotFound);
  }
  v56.nextRecord = offset;
  v56.record = std::move(record);
  v56.currentRecord = offset;
  MakeCurrent(v56.record.attributes, v56.record.name, SizeOf(v56.record.attributes));
  return ExtractCurrent(lpTargetDir, 1);
}

DWORD COrvMorlet::ReadReparseRecordV56(std::vector<uint8_t>& data) {
  V56State& v56 = V56();
  COrvLog& log = COrvLog::GetInstance();
  BlockReader reader;
  reader.Init(path_, LastKnownPart());
  if (DWORD error = reader.Open(v56.record.dataPart, v56.record.dataOffset,
                                ORV_T("ReadFile failed - part#%u - %u")))
    return error;
  if (DWORD error = reader.ReadBlock(data, kReparseBufferSize)) {
    log.AddError(ORV_T("ReadFile (reparse data) failed - %u"), error);
    return error;
  }
  return err::kSuccess;
}

DWORD COrvMorlet::ReadDescriptorV56(const EntryRecord& record, std::vector<uint8_t>& descriptor) {
  descriptor.clear();
  if (record.descriptorPart == kNoPart) return err::kSuccess;
  COrvLog& log = COrvLog::GetInstance();
  BlockReader reader;
  reader.Init(path_, LastKnownPart());
  if (DWORD error = reader.Open(record.descriptorPart, record.descriptorOffset,
                                ORV_T("(SD) Cannot part#%u - %u")))
    return error;
  if (DWORD error = reader.ReadBlock(descriptor, kMaxDescriptor)) {
    log.AddError(ORV_T("ReadFile (SD Block Size) - %u"), error);
    return error;
  }
  return err::kSuccess;
}

BOOL COrvMorlet::ReadEntrySecurity(std::vector<uint8_t>& descriptor) {
  descriptor.clear();
  if (!IsOpen()) return Fail(ORV_ERROR_ARCHIVE_NOT_OPEN);
  if (IsV56()) {
    if (DWORD error = ReadDescriptorV56(V56().record, descriptor)) return Fail(error);
  } else if (auto* v2 = std::get_if<V2State>(&state_);
             v2 && v2->currentEntry < v2->entries.size()) {
    descriptor = v2->entries[v2->currentEntry].descriptor;
  }
  return Succeed();
}

BOOL COrvMorlet::ExtractCurrentV56(LPCTSTR folder) {
  V56State& v56 = V56();
  if (v56.streaming) return Fail(err::kBadCommand);
  EntryRecord record;
  if (DWORD error = ReadRecordAt(v56.currentRecord, record)) return Fail(error);
  v56.record = std::move(record);
  v56.parts.Close();
  const RestoreItem item =
      ItemToRestore(v56.record.name, v56.record.attributes, v56.record.shortName);
  RestoreSources sources;
  sources.content = [this, &v56](ContentWriter& target) {
    BlockReader reader;
    reader.Init(path_, LastKnownPart());
    uint64_t stored = 0;
    return DecompressBlocks(reader, v56.record, buffers_, target, stored);
  };
  sources.reparse = [this](std::vector<uint8_t>& data) { return ReadReparseRecordV56(data); };
  sources.descriptor = [this, &v56](std::vector<uint8_t>& descriptor) {
    return ReadDescriptorV56(v56.record, descriptor);
  };
  const DWORD error = RestoreEntry(folder, item, sources, session_);
  RefreshCurrent(v56.record.attributes, v56.record.name, SizeOf(v56.record.attributes));
  return error ? Fail(error) : Succeed();
}

BOOL COrvMorlet::StartStreamRead(LPCTSTR pstrEntryName, std::vector<uint8_t>& block) {
  if (!IsOpen()) return Fail(ORV_ERROR_ARCHIVE_NOT_OPEN);
  if (!IsV56() || !V56().tree.IsPresent()) return Fail(ORV_ERROR_NOT_SUPPORTED);
  V56State& v56 = V56();
  if (v56.streaming) return Fail(err::kBadCommand);
  if (pstrEntryName == nullptr) return Fail(err::kInvalidParameter);
  EntryRecord record;
  const uint64_t offset = v56.tree.Lookup(pstrEntryName);
  if (offset == kNoOffset || ReadRecordAt(offset, record) != 0) return Fail(err::kFileNotFound);
  if (record.blockCount == 0 || (record.attributes.dwFileAttributes & os::kAttrDirectory))
    return Fail(err::kNoMoreItems);
  v56.streamReader.Init(path_, LastKnownPart());
  if (DWORD error = v56.streamReader.Open(record.dataPart, record.dataOffset,
                                       ORV_T("First Cannot part#%u - %u")))
    return Fail(error);
  v56.streaming = true;
  v56.streamBlocks = record.blockCount;
  v56.streamRead = 0;
  return NextStreamBlock(block);
}

BOOL COrvMorlet::NextStreamBlock(std::vector<uint8_t>& block) {
  if (!IsV56() || !V56().streaming) return Fail(err::kNoMoreItems);
  V56State& v56 = V56();
  DWORD error = err::kNoMoreItems;
  if (v56.streamRead < v56.streamBlocks) {
    error = v56.streamReader.ReadBlock(block, kMaxLzoBlock);
    if (!error) {
      ++v56.streamRead;
      return Succeed();
    }
  }
  // The end of the entry, or a block that cannot be read: the stream is over either way.
  v56.streamReader.Close();
  v56.streaming = false;
  return Fail(error);
}

}  // namespace orv
