// Version 1: deflate streams in the main file and a raw table of fixed-layout entries
// after the data. Its times are local times.
#include <algorithm>

#include "archive/deflate_file.h"
#include "archive/deflate_stream.h"
#include "archive/item_restore.h"
#include "archive/morlet.h"
#include "archive/source_metadata.h"
#include "platform/case_fold.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "platform/whole_io.h"

namespace orv {

using namespace archive;

namespace {

constexpr uint32_t kTableStep = 102400;
constexpr uint32_t kTableReserve = 1024;
constexpr WStringView kPasswordFile = ORV_T("QUEN.DAV");

ORVFILETIME ToLocal(const ORVFILETIME& time) {
  const uint64_t value = ToU64(time);
  return value ? ToFileTime(os::FileTimeToLocal(value)) : time;
}

// The folder that holds `path`, or empty when that folder is a drive root.
WString HoldingFolder(WStringView path) {
  const size_t slash = path.find_last_of(ORV_T("\\/"));
  if (slash == WStringView::npos) return WString();
  const WStringView folder = path.substr(0, slash);
  if (folder.size() <= 2 && folder.size() >= 1 && (folder.size() == 1 || folder[1] == ':'))
    return WString();
  return WString(folder);
}

}  // namespace

DWORD COrvMorlet::OpenV1(bool existed) {
  V1State& v1 = V1();
  if (!existed) {
    v1.header.version = 1;
    v1.header.dataStart = kV1HeaderSize;
    v1.writePosition = kV1HeaderSize;
    return err::kSuccess;
  }
  uint8_t bytes[kV1HeaderSize];
  DWORD done = 0;
  if (main_.Read(bytes, sizeof bytes, done) != 0 || done != sizeof bytes) return err::kBadFormat;
  if (!DecodeV12Header(bytes, v1.header) || v1.header.version > 1) return err::kBadFormat;
  if (DWORD error = ReadV12Table(v1.table)) return error;
  v1.tableUsed = v1.header.tableSize;
  // An empty table continues at the first data byte, never over the header.
  v1.writePosition = v1.header.tableSize != 0 ? v1.header.tableOffset : kV1HeaderSize;
  return err::kSuccess;
}

BOOL COrvMorlet::AddFileV1(LPCTSTR source, LPCTSTR name, const ORVFILEATTRIBUTEDATA* attributes) {
  V1State& v1 = V1();
  if (v1.table.size() - v1.tableUsed < kTableReserve) {
    try {
      v1.table.resize(v1.table.size() + kTableStep, 0);
    } catch (const std::bad_alloc&) {
      return Fail(err::kNotEnoughMemory);
    }
  }
  ORVFILEATTRIBUTEDATA block{};
  if (DWORD error = SourceAttributes(source, attributes, block)) return Fail(error);
  // A link stores its reparse record, as in version 2, never what it points at.
  std::vector<uint8_t> reparse;
  bool link = block.dwFileAttributes & os::kAttrReparsePoint;
  if (link) {
    uint64_t fileId = 0;
    ReparseStorage storage;
    if (DWORD error = CaptureReparse(source, false, reparse, fileId, storage)) return Fail(error);
    link = storage == ReparseStorage::kRecord;
    if (!link) block.dwFileAttributes &= ~os::kAttrReparsePoint;
  }
  // The format keeps local times; its reader converts them back.
  block.ftCreationTime = ToLocal(block.ftCreationTime);
  block.ftLastAccessTime = ToLocal(block.ftLastAccessTime);
  block.ftLastWriteTime = ToLocal(block.ftLastWriteTime);
  const WString entryName(WStringView(name).substr(0, kMaxNameCopy));
  const WString holding = HoldingFolder(source);

  uint64_t stored = 0;
  if (link) {
    if (DWORD error = WriteReparseRecordV12(reparse)) return Fail(error);
    stored = reparse.size() + 4;
  } else {
    os::File file;
    if (DWORD error =
            file.Open(source, os::kGenericRead, os::kShareRead, os::Disposition::kOpenExisting))
      return Fail(error);
    uint64_t size = 0;
    DWORD error = main_.Seek(static_cast<int64_t>(v1.writePosition), os::SeekFrom::kBegin);
    if (!error) error = file.Size(size);
    if (!error) RecordReadSize(block, size);
    if (!error)
      error = DeflateFile(file, size, main_, DeflateStream::LevelOf(compression_), nullptr,
                          buffers_, stored);
    if (error) return Fail(err::kInternalError);
  }

  uint8_t* p = v1.table.data() + v1.tableUsed;
  const size_t nameChars = entryName.size() + 1;
  std::fill_n(p, kV1EntryFixed + 2 * nameChars, 0);
  EncodeAttributes(block, p);
  StoreLE<uint64_t>(p + 36, stored);
  StoreLE<uint64_t>(p + 44, v1.writePosition);
  StoreLE<uint16_t>(p + 52, static_cast<uint16_t>(nameChars));
  EncodeShortName(SourceShortName(source), p + 54);
  EncodeShortName(holding.empty() ? WString() : SourceShortName(holding), p + 82);
  EncodeName(entryName, p + 110);
  v1.tableUsed += kV1EntryFixed + 2 * nameChars;
  v1.writePosition += stored;
  return Succeed();
}

BOOL COrvMorlet::CloseV1() {
  V1State& v1 = V1();
  if (mode_ == 1) {
    main_.Close();
    return Succeed();
  }
  if (v1.header.dataStart == 0) v1.header.dataStart = kV1HeaderSize;
  DWORD error = err::kSuccess;
  if (v1.tableUsed != 0) {
    v1.header.tableOffset = v1.writePosition;
    v1.header.tableSize = static_cast<DWORD>(v1.tableUsed);
    error = os::WriteAllAt(main_, v1.writePosition, v1.table.data(), v1.header.tableSize);
    if (!error) error = main_.SetEnd();
  } else {
    v1.header.tableOffset = 0;
    v1.header.tableSize = 0;
  }
  if (!error) {
    uint8_t bytes[kV1HeaderSize];
    EncodeV12Header(v1.header, bytes);
    error = os::WriteAllAt(main_, 0, bytes, sizeof bytes);
  }
  main_.Close();
  return error ? Fail(error) : Succeed();
}

// The entry at `offset` of the table, when the table holds all of it.
static bool V1EntryAt(const std::vector<uint8_t>& table, uint64_t used, uint64_t offset,
                      size_t& nameChars) {
  if (offset >= used || used - offset < kV1EntryFixed) return false;
  nameChars = LoadLE<uint16_t>(table.data() + offset + 52);
  return nameChars != 0 && used - offset >= kV1EntryFixed + 2 * nameChars;
}

BOOL COrvMorlet::NextEntryV1(int advance) {
  V1State& v1 = V1();
  size_t nameChars = 0;
  if (!V1EntryAt(v1.table, v1.tableUsed, v1.nextEntry, nameChars)) return Fail(err::kNoMoreItems);
  const uint8_t* p = v1.table.data() + v1.nextEntry;
  const ORVFILEATTRIBUTEDATA attributes = DecodeAttributes(p);
  WString name = DecodeName(p + 110, nameChars);
  name.resize(std::min(name.find(Char(0)), name.size()));
  v1.currentEntry = v1.nextEntry;
  // The stored length is the compressed size; the file's size is in its attribute block.
  MakeCurrent(attributes, name, SizeOf(attributes));
  current_.tempName.clear();
  if (advance) v1.nextEntry += kV1EntryFixed + 2 * nameChars;
  return Succeed();
}

BOOL COrvMorlet::ExtractCurrentV1(LPCTSTR folder, int flags) {
  V1State& v1 = V1();
  size_t nameChars = 0;
  if (!V1EntryAt(v1.table, v1.tableUsed, v1.currentEntry, nameChars))
    return Fail(err::kNoMoreItems);
  const uint8_t* p = v1.table.data() + v1.currentEntry;
  RestoreItem item;
  item.attributes = DecodeAttributes(p);
  item.name = DecodeName(p + 110, nameChars);
  item.name.resize(std::min(item.name.find(Char(0)), item.name.size()));
  item.shortName = DecodeShortName(p + 54);
  item.holdingShortName = DecodeShortName(p + 82);
  item.localTimes = true;
  item.withMetadata = false;  // links come back, encryption and compression do not
  MakeCurrent(item.attributes, item.name, SizeOf(item.attributes));
  current_.tempName.clear();
  // The image's password file stays in the archive unless the caller asks for it.
  if (flags == 0 && os::ContainsNoCase(item.name, kPasswordFile)) return Succeed();
  const uint64_t stored = LoadLE<uint64_t>(p + 36);
  const uint64_t offset = LoadLE<uint64_t>(p + 44);
  const uint64_t size = SizeOf(item.attributes);
  RestoreSources sources;
  sources.content = [&](ContentWriter& target) {
    uint64_t written = 0;
    DWORD error = main_.Seek(static_cast<int64_t>(offset), os::SeekFrom::kBegin);
    if (!error) error = InflateFile(main_, stored, size, target, buffers_, written);
    if (!error && written != size) error = err::kInternalError;
    return error;
  };
  sources.reparse = [&](std::vector<uint8_t>& data) { return ReadReparseRecordV12(offset, data); };
  const DWORD error = RestoreEntry(folder, item, sources, session_);
  if (error == err::kFilenameExcedRange) return Fail(err::kInsufficientBuffer);
  return error ? Fail(error) : Succeed();
}

}  // namespace orv
