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
  appendAt_ = kNoOffset;  // the file pointer leaves the end
  const uint32_t fixed = RecordFixedSize(type_);
  uint8_t bytes[kV6RecordFixed];
  DWORD done = 0;
  if (main_.Seek(static_cast<int64_t>(offset), os::SeekFrom::kBegin) != 0 ||
      main_.Read(bytes, fixed, done) != 0 || done == 0)
    return err::kNoMoreItems;
  uint32_t nameChars = 0;
  if (done != fixed || !DecodeRecordFixed(type_, bytes, record, nameChars)) return err::kFileCorrupt;
  std::vector<uint8_t> name(2 * size_t{nameChars});
  if (main_.Read(name.data(), static_cast<DWORD>(name.size()), done) != 0 || done != name.size())
    return err::kFileCorrupt;
  WString text = DecodeName(name.data(), nameChars);
  text.resize(std::min({text.find(Char(0)), text.size(), size_t{kMaxNameCopy}}));
  record.name = std::move(text);
  return err::kSuccess;
}

BOOL COrvMorlet::NextEntryV56(int advance) {
  if (streaming_) return Fail(err::kBadCommand);
  EntryRecord record;
  if (DWORD error = ReadRecordAt(cursor_, record)) return Fail(error);
  record_ = std::move(record);
  currentOffset_ = cursor_;
  MakeCurrent(record_.attributes, record_.name, SizeOf(record_.attributes));
  if (advance) cursor_ += record_.recordLength;
  return Succeed();
}

BOOL COrvMorlet::FindNamedEntry(LPCTSTR pstrEntryName) {
  if (!IsOpen()) return Fail(ORV_ERROR_ARCHIVE_NOT_OPEN);
  if (!IsV56() || !tree_.IsPresent()) return Fail(ORV_ERROR_NOT_SUPPORTED);
  if (streaming_) return Fail(err::kBadCommand);
  if (pstrEntryName == nullptr) return Fail(ORV_ERROR_ARG1);
  cursor_ = tree_.Lookup(pstrEntryName);
  EntryRecord record;
  if (ReadRecordAt(cursor_, record) != 0) return Fail(err::kNoMoreItems);
  record_ = std::move(record);
  currentOffset_ = cursor_;
  MakeCurrent(record_.attributes, record_.name, SizeOf(record_.attributes));
  return Succeed();
}

BOOL COrvMorlet::ExtractNamedEntry(LPCTSTR lpFileIn, LPCTSTR lpTargetDir) {
  if (lpTargetDir == nullptr) return Fail(ORV_ERROR_ARG1);
  if (lpFileIn == nullptr) return Fail(err::kInvalidParameter);
  if (!IsOpen()) return Fail(ORV_ERROR_ARCHIVE_NOT_OPEN);
  if (IsForeign()) return ExtractFileForeign(lpFileIn, lpTargetDir);
  if (!IsV56() || !tree_.IsPresent()) return Fail(ORV_ERROR_NOT_SUPPORTED);
  if (streaming_) return Fail(err::kBadCommand);
  const uint64_t offset = tree_.Lookup(lpFileIn);
  EntryRecord record;
  if (offset == kNoOffset || ReadRecordAt(offset, record) != 0) {
    COrvLog::GetInstance().AddError(ORV_T("File %s not found"), WString(lpFileIn));
    return Fail(err::kFileNotFound);
  }
  cursor_ = offset;
  record_ = std::move(record);
  currentOffset_ = offset;
  MakeCurrent(record_.attributes, record_.name, SizeOf(record_.attributes));
  return ExtractCurrent(lpTargetDir, 1);
}

DWORD COrvMorlet::ReadReparseRecordV56(std::vector<uint8_t>& data) {
  COrvLog& log = COrvLog::GetInstance();
  BlockReader reader;
  reader.Init(path_, LastKnownPart());
  if (DWORD error = reader.Open(record_.dataPart, record_.dataOffset, ORV_T("ReadFile failed - part#%u - %u")))
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
    if (DWORD error = ReadDescriptorV56(record_, descriptor)) return Fail(error);
  } else if (type_ == kTypeVersion2 && cursor_ != kNoOffset && currentOffset_ < v2Entries_.size()) {
    descriptor = v2Entries_[currentOffset_].descriptor;
  }
  return Succeed();
}

BOOL COrvMorlet::ExtractCurrentV56(LPCTSTR folder) {
  if (streaming_) return Fail(err::kBadCommand);
  EntryRecord record;
  if (DWORD error = ReadRecordAt(currentOffset_, record)) return Fail(error);
  record_ = std::move(record);
  parts_.Close();
  const RestoreItem item = ItemToRestore(record_.name, record_.attributes, record_.shortName);
  RestoreSources sources;
  sources.content = [this](ContentWriter& target) {
    BlockReader reader;
    reader.Init(path_, LastKnownPart());
    uint64_t stored = 0;
    return DecompressBlocks(reader, record_, buffers_, target, stored);
  };
  sources.reparse = [this](std::vector<uint8_t>& data) { return ReadReparseRecordV56(data); };
  sources.descriptor = [this](std::vector<uint8_t>& descriptor) {
    return ReadDescriptorV56(record_, descriptor);
  };
  const DWORD error = RestoreEntry(folder, item, sources, session_);
  RefreshCurrent(record_.attributes, record_.name, SizeOf(record_.attributes));
  return error ? Fail(error) : Succeed();
}

BOOL COrvMorlet::StartStreamRead(LPCTSTR pstrEntryName, std::vector<uint8_t>& block) {
  if (!IsOpen()) return Fail(ORV_ERROR_ARCHIVE_NOT_OPEN);
  if (!IsV56() || !tree_.IsPresent()) return Fail(ORV_ERROR_NOT_SUPPORTED);
  if (streaming_) return Fail(err::kBadCommand);
  if (pstrEntryName == nullptr) return Fail(err::kInvalidParameter);
  EntryRecord record;
  const uint64_t offset = tree_.Lookup(pstrEntryName);
  if (offset == kNoOffset || ReadRecordAt(offset, record) != 0) return Fail(err::kFileNotFound);
  if (record.blockCount == 0 || (record.attributes.dwFileAttributes & os::kAttrDirectory))
    return Fail(err::kNoMoreItems);
  streamReader_.Init(path_, LastKnownPart());
  if (DWORD error = streamReader_.Open(record.dataPart, record.dataOffset,
                                       ORV_T("First Cannot part#%u - %u")))
    return Fail(error);
  streaming_ = true;
  streamBlocks_ = record.blockCount;
  streamRead_ = 0;
  return NextStreamBlock(block);
}

BOOL COrvMorlet::NextStreamBlock(std::vector<uint8_t>& block) {
  if (!streaming_) return Fail(err::kNoMoreItems);
  DWORD error = err::kNoMoreItems;
  if (streamRead_ < streamBlocks_) {
    error = streamReader_.ReadBlock(block, kMaxLzoBlock);
    if (!error) {
      ++streamRead_;
      return Succeed();
    }
  }
  // The end of the entry, or a block that cannot be read: the stream is over either way.
  streamReader_.Close();
  streaming_ = false;
  return Fail(error);
}

}  // namespace orv
