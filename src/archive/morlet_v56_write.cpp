// Versions 5 and 6: opening, adding files (compressed in LZO blocks), copying entries
// from another archive, closing.
#include <algorithm>

#include "archive/morlet.h"
#include "archive/part_names.h"
#include "archive/source_metadata.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "platform/whole_io.h"
#include "services/log.h"

namespace orv {

using namespace archive;

DWORD COrvMorlet::OpenV56(bool existed) {
  V56State& v56 = V56();
  COrvLog& log = COrvLog::GetInstance();
  const WString indexPath = IndexFileName(path_);
  if (existed) {
    uint8_t bytes[kV56HeaderSize];
    DWORD done = 0;
    if (main_.Read(bytes, sizeof bytes, done) != 0 || done != sizeof bytes) return err::kBadFormat;
    if (!DecodeV56Header(bytes, v56.header) || v56.header.version != type_) return err::kBadFormat;
    v56.parts.Reset(path_, v56.header.lastPart);
    v56.nextRecord = kV56HeaderSize;
    const DWORD error = v56.tree.Load(indexPath, mode_ == 0);
    if (error == err::kFileNotFound && mode_ == 0) {
      log.AddInfo(ORV_T("Use Allocation on Heap"));
      return v56.tree.Create(indexPath, false) == 0 ? err::kSuccess
                                                    : v56.tree.Create(indexPath, true);
    }
    // Without an index the entries still read in order; lookups by name are refused.
    return error == err::kFileNotFound ? err::kSuccess : error;
  }
  v56.header = V56Header{type_, 1};
  uint8_t bytes[kV56HeaderSize];
  EncodeV56Header(v56.header, bytes);
  DWORD done = 0;
  if (DWORD error = main_.Write(bytes, sizeof bytes, done)) return error;
  v56.appendAt = kV56HeaderSize;
  v56.parts.Reset(path_, 0);
  if (DWORD error = v56.parts.NewPart()) return error;
  v56.nextRecord = kV56HeaderSize;
  log.AddInfo(ORV_T("Use Allocation on Heap"));
  if (v56.tree.Create(indexPath, false) == 0) return err::kSuccess;
  return v56.tree.Create(indexPath, true);
}

DWORD COrvMorlet::EnsurePartOpen() {
  V56State& v56 = V56();
  if (v56.parts.IsOpen()) return err::kSuccess;
  // The last part written: the header's on reopening, the newest one after rotations.
  return v56.parts.OpenForAppend(LastKnownPart());
}

DWORD COrvMorlet::LastKnownPart() const {
  return std::max(V56().header.lastPart, V56().parts.Number());
}

DWORD COrvMorlet::FlushWrites() {
  V56State& v56 = V56();
  if (mode_ == 1) return err::kSuccess;
  // Blocks before the records that point to them.
  if (DWORD error = v56.parts.FlushPending()) return error;
  return v56.recordsOut.Flush(main_);
}

DWORD COrvMorlet::WriteDescriptorRecord(const void* descriptor, DWORD length, EntryRecord& record) {
  V56State& v56 = V56();
  record.descriptorPart = kNoPart;
  if (descriptor == nullptr || length == 0) return err::kSuccess;
  COrvLog& log = COrvLog::GetInstance();
  record.descriptorPart = v56.parts.Number();
  record.descriptorOffset = v56.parts.Position();
  uint8_t lengthBytes[4];
  StoreLE<uint32_t>(lengthBytes, length);
  if (DWORD error = v56.parts.Write(lengthBytes, 4)) {
    log.AddError(ORV_T("WriteFile failed - %u (%8.8X)"), error, error);
    return error;
  }
  if (DWORD error = v56.parts.Write(descriptor, length)) {
    log.AddError(ORV_T("WriteFile failed (Security Descriptor)- %u (%8.8X)"), error, error);
    return error;
  }
  v56.parts.Advance(uint64_t{length} + 4);
  return err::kSuccess;
}

DWORD COrvMorlet::AppendRecord(EntryRecord& record) {
  V56State& v56 = V56();
  std::vector<uint8_t> bytes;
  EncodeRecord(type_, record, bytes);
  uint64_t offset = v56.appendAt;
  // Records wait in memory only while the file pointer stands at the end.
  const bool written = (offset != kNoOffset || (v56.recordsOut.Flush(main_) == 0 &&
                                                main_.Seek(0, os::SeekFrom::kEnd, &offset) == 0)) &&
                       v56.recordsOut.Write(main_, bytes.data(), bytes.size()) == 0;
  v56.appendAt = written ? offset + bytes.size() : kNoOffset;
  if (!written || !v56.tree.Insert(record.name, offset)) {
    if (type_ == kTypeVersion5) COrvLog::GetInstance().AddError(ORV_T("Write to TOC failed"));
    return err::kNotEnoughMemory;
  }
  return err::kSuccess;
}

BOOL COrvMorlet::AddFileV56(LPCTSTR source, LPCTSTR name, const void* descriptor,
                            DWORD descriptorLength, const ORVFILEATTRIBUTEDATA* attributes) {
  V56State& v56 = V56();
  COrvLog& log = COrvLog::GetInstance();
  const bool version6 = type_ == kTypeVersion6;
  EntryRecord record;
  record.name = WStringView(name).substr(0, kMaxNameCopy);
  if (DWORD error = SourceAttributes(source, attributes, record.attributes)) return Fail(error);
  if (DWORD error = EnsurePartOpen()) return Fail(error);
  if (DWORD error = v56.parts.SeekToPosition()) return Fail(error);
  record.dataPart = v56.parts.Number();
  record.dataOffset = v56.parts.Position();

  DWORD& stored = record.attributes.dwFileAttributes;
  if (stored & os::kAttrReparsePoint) {
    std::vector<uint8_t> reparse;
    ReparseStorage storage;
    if (DWORD error = CaptureReparse(source, version6, reparse, record.fileId, storage))
      return Fail(error);
    if (storage == ReparseStorage::kContent) {
      stored &= ~os::kAttrReparsePoint;
    } else {
      record.shortName = SourceShortName(source);
      const uint32_t length = static_cast<uint32_t>(reparse.size());
      uint8_t lengthBytes[4];
      StoreLE<uint32_t>(lengthBytes, length);
      if (DWORD error = v56.parts.Write(lengthBytes, 4)) {
        log.AddError(ORV_T("WriteFile failed - %u (%8.8X)"), error, error);
        return Fail(error);
      }
      if (DWORD error = v56.parts.Write(reparse.data(), length)) {
        log.AddError(ORV_T("WriteFile failed (reparse data)- %u (%8.8X)"), error, error);
        return Fail(error);
      }
      record.storedLength = uint64_t{length} + 4;
      record.blockCount = 1;
      // The record goes where the last block left the part: a part already past the
      // split size is closed after it.
      if (v56.parts.Position() <= splitSize_) {
        v56.parts.Advance(uint64_t{length} + 4);
      } else if (DWORD error = v56.parts.StartNextPart()) {
        return Fail(error);
      }
    }
  }
  if (!(stored & os::kAttrReparsePoint)) {
    if (stored & os::kAttrDirectory) {
      record.shortName = SourceShortName(source);
      if (version6) record.fileId = FolderFileId(source);
    } else {
      os::File file;
      if (DWORD error = file.Open(source, os::kGenericRead, os::kShareRead,
                                  os::Disposition::kOpenExisting, os::kBackupSemantics))
        return Fail(error);
      record.shortName = SourceShortName(source, &file);
      if (version6) record.fileId = FileIdOf(file);
      if (DWORD error = CompressFileV56(file, record)) return Fail(error);
    }
  }
  if (DWORD error = WriteDescriptorRecord(descriptor, descriptorLength, record)) return Fail(error);
  if (DWORD error = AppendRecord(record)) return Fail(error);
  v56.dirty = true;
  return Succeed();
}

DWORD COrvMorlet::CompressFileV56(os::File& file, EntryRecord& record) {
  V56State& v56 = V56();
  COrvLog& log = COrvLog::GetInstance();
  if (!buffers_.Ensure()) return err::kNotEnoughMemory;
  int code = 0;
  if (!LzoCodec::Init(code)) {
    log.AddError(ORV_T("Error: lzo_Init - %d"), code);
    return err::kInternalError;
  }
  uint64_t remaining = 0;
  if (DWORD error = file.Size(remaining)) return error;
  RecordReadSize(record.attributes, remaining);
  // The first pass always runs: an empty file gives one block, the end marker.
  do {
    const DWORD want = static_cast<DWORD>(std::min<uint64_t>(remaining, kBlockSize));
    DWORD done = 0;
    if (DWORD error = file.Read(buffers_.content.get(), want, done)) {
      log.AddError(ORV_T("ReadFile - %u"), error);
      return error;
    }
    if (done != want) {
      log.AddError(ORV_T("ReadFile - %u"), err::kHandleEof);
      return err::kHandleEof;
    }
    uint8_t* out = buffers_.compressed.get() + 4;
    uint32_t length = 0;
    if (buffers_.lzo.Compress(buffers_.content.get(), want, out, length, code) !=
        LzoCodec::Result::kOk) {
      log.AddError(ORV_T("error: lzo1x_1_compress - %d"), code);
      return err::kInternalError;
    }
    // The length and its block go out in one write.
    StoreLE<uint32_t>(buffers_.compressed.get(), length);
    if (DWORD error = v56.parts.Write(buffers_.compressed.get(), length + 4)) {
      log.AddError(ORV_T("WriteFile - %u"), error);
      return error;
    }
    ++record.blockCount;
    record.storedLength += length;
    remaining -= want;
    v56.parts.Advance(uint64_t{length} + 4);
    if (DWORD error = v56.parts.RotateIfPast(splitSize_)) {
      if (type_ == kTypeVersion6) log.AddError(ORV_T("AddPart - %u"), error);
      return error;
    }
  } while (remaining > 0);
  return err::kSuccess;
}

BOOL COrvMorlet::AddFileFromArchive(LPCTSTR pstrSourceArchive, LPCTSTR pstrEntryName,
                                    ULONGLONG& fileSize) {
  if (!IsOpen() || pstrSourceArchive == nullptr || pstrEntryName == nullptr)
    return Fail(err::kInvalidParameter);
  COrvMorlet source;
  if (!source.Open(pstrSourceArchive, 1, 0)) return Fail(source.GetLastErrorCode());
  const BOOL added = AddFileFromArchive(source, pstrEntryName, fileSize);
  source.Close();
  return added;
}

BOOL COrvMorlet::AddFileFromArchive(COrvMorlet& source, LPCTSTR pstrEntryName,
                                    ULONGLONG& fileSize) {
  if (!IsOpen() || !source.IsOpen() || pstrEntryName == nullptr)
    return Fail(err::kInvalidParameter);
  if (!IsV56() || !source.IsV56()) return Fail(ORV_ERROR_NOT_SUPPORTED);
  V56State& v56 = V56();
  if (v56.streaming) return Fail(err::kBadCommand);
  if (mode_ == 1) return Fail(err::kAccessDenied);
  COrvLog& log = COrvLog::GetInstance();

  if (!source.FindEntry(pstrEntryName)) {
    const DWORD error = source.GetLastErrorCode();
    return Fail(error == err::kNoMoreItems ? err::kFileNotFound : error);
  }
  const EntryRecord from = source.CurrentRecord();
  std::vector<uint8_t> descriptor;
  if (!source.ReadEntrySecurity(descriptor)) return Fail(source.GetLastErrorCode());
  DWORD error = EnsurePartOpen();
  if (!error) error = v56.parts.SeekToPosition();
  if (error) return Fail(error);
  EntryRecord record;
  record.attributes = from.attributes;
  record.shortName = from.shortName;
  record.name = from.name;
  record.fileId = from.fileId;
  record.dataPart = v56.parts.Number();
  record.dataOffset = v56.parts.Position();

  const bool hasBlocks =
      from.blockCount != 0 && !(from.attributes.dwFileAttributes & os::kAttrDirectory);
  if (hasBlocks) {
    std::vector<uint8_t> block;
    BOOL more = source.StartStreamRead(pstrEntryName, block);
    while (more) {
      const uint32_t length = static_cast<uint32_t>(block.size());
      uint8_t lengthBytes[4];
      StoreLE<uint32_t>(lengthBytes, length);
      if ((error = v56.parts.Write(lengthBytes, 4)) ||
          (error = v56.parts.Write(block.data(), length))) {
        log.AddError(ORV_T("WriteFile - %u"), error);
        break;
      }
      ++record.blockCount;
      record.storedLength += length;
      v56.parts.Advance(uint64_t{length} + 4);
      if ((error = v56.parts.RotateIfPast(splitSize_))) break;
      more = source.NextStreamBlock(block);
    }
    if (!error && source.GetLastErrorCode() != err::kNoMoreItems) error = source.GetLastErrorCode();
    if (!error && record.blockCount != from.blockCount) error = err::kFileCorrupt;
  }
  if (error) return Fail(error);
  if ((error = WriteDescriptorRecord(descriptor.empty() ? nullptr : descriptor.data(),
                                     static_cast<DWORD>(descriptor.size()), record)))
    return Fail(error);
  if ((error = AppendRecord(record))) return Fail(error);
  fileSize = SizeOf(record.attributes);
  v56.dirty = true;
  return Succeed();
}

DWORD COrvMorlet::IndexStoredRecords() {
  V56State& v56 = V56();
  v56.tree.Clear();
  if (DWORD error = v56.tree.Create(IndexFileName(path_), false)) return error;
  EntryRecord record;
  for (uint64_t offset = kV56HeaderSize; ReadStoredRecord(offset, record) == 0;
       offset += record.recordLength) {
    if (!v56.tree.Insert(record.name, offset)) return err::kNotEnoughMemory;
  }
  return err::kSuccess;
}

BOOL COrvMorlet::CloseV56() {
  V56State& v56 = V56();
  const WString indexPath = IndexFileName(path_);
  if (mode_ == 1) {
    // Reading never rewrites the archive.
    main_.Close();
    return Succeed();
  }
  // Blocks reach the disk before the records that point to them, the records and the
  // header before the index, which replaces the old one whole: a crash leaves the old
  // state or a readable archive. After a failed write-out the header and index are still
  // written, so that the entries before the failure stay readable, and the close fails
  // with it; records whose blocks were lost are dropped, and the index names only the
  // records that reached the main file.
  DWORD lost = v56.parts.Close();
  if (lost)
    v56.recordsOut.Reset();
  else
    lost = v56.recordsOut.Flush(main_);
  if (DWORD error = main_.Flush(); !lost) lost = error;
  if (v56.dirty) {
    v56.header.lastPart = v56.parts.Number();
    uint8_t bytes[kV56HeaderSize];
    EncodeV56Header(v56.header, bytes);
    DWORD error = os::WriteAllAt(main_, 0, bytes, sizeof bytes);
    if (!error) error = main_.Flush();
    if (error) {
      main_.Close();
      return Fail(error);
    }
  }
  DWORD error = lost ? IndexStoredRecords() : err::kSuccess;
  if (!error) error = v56.tree.Save(indexPath);
  main_.Close();
  if (!error) error = lost;
  return error ? Fail(error) : Succeed();
}

}  // namespace orv
