// Version 2: deflate streams in the main file, a table of variable-length entries (with
// security descriptors) after the data, and the capacity of the target volume.
#include <algorithm>

#include "archive/deflate_file.h"
#include "archive/deflate_stream.h"
#include "archive/item_restore.h"
#include "archive/morlet.h"
#include "archive/source_metadata.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "platform/volume.h"
#include "platform/whole_io.h"
#include "services/log.h"

namespace orv {

using namespace archive;

namespace {

constexpr uint32_t kEntryFixed = 90;

uint64_t Minus(uint64_t a, uint64_t b) { return a > b ? a - b : 0; }

// "C:\" for a drive path; the folder that holds the file otherwise.
WString VolumeRootOf(WStringView path) {
  if (path.size() >= 2 && path[1] == ':') return WString(path.substr(0, 2)) + ORV_T("\\");
  const size_t slash = path.find_last_of(ORV_T("\\/"));
  return WString(slash == WStringView::npos ? ORV_T(".") : path.substr(0, slash + 1));
}

// The free space on the volume that receives the archive, in KiB (0 when unknown).
uint64_t FreeKilobytesFor(WStringView path) {
  os::VolumeSpace space;
  return os::GetFreeSpace(VolumeRootOf(path), space) == 0 ? space.freeToCaller / 1024 : 0;
}

}  // namespace

DWORD COrvMorlet::OpenV2(bool existed) {
  V2State& v2 = V2();
  if (!existed) {
    v2.written = true;
    v2.header.version = 2;
    v2.header.dataStart = kV2HeaderSize;
    v2.header.capacity = FreeKilobytesFor(path_) * 1024;
    v2.remainingCapacity = Minus(v2.header.capacity, kV2HeaderSize);
    v2.writePosition = kV2HeaderSize;
    return err::kSuccess;
  }
  uint8_t bytes[kV2HeaderSize];
  DWORD done = 0;
  if (main_.Read(bytes, sizeof bytes, done) != 0 || done != sizeof bytes) return err::kBadFormat;
  if (!DecodeV12Header(bytes, v2.header) || v2.header.version != 2) return err::kBadFormat;
  std::vector<uint8_t> table;
  if (DWORD error = ReadV12Table(table)) return error;
  v2.remainingCapacity = Minus(v2.header.capacity, kV2HeaderSize);
  // An empty table continues at the first data byte, never over the header.
  v2.writePosition = v2.header.tableSize != 0 ? v2.header.tableOffset : kV2HeaderSize;
  for (size_t at = 0; at + kEntryFixed <= table.size();) {
    const uint8_t* p = table.data() + at;
    const uint32_t length = LoadLE<uint32_t>(p);
    const uint16_t nameChars = LoadLE<uint16_t>(p + 84);
    const uint16_t descriptorSize = LoadLE<uint16_t>(p + 86);
    const uint16_t descriptorOffset = LoadLE<uint16_t>(p + 88);
    if (nameChars > kMaxV2Name) break;
    // A length that does not cover its own name would walk for ever or out of the table.
    if (length < kEntryFixed + 2 * uint32_t{nameChars} || length > table.size() - at) break;
    V2Entry entry;
    entry.attributes = DecodeAttributes(p + 4);
    entry.storedLength = LoadLE<uint64_t>(p + 40);
    entry.dataOffset = LoadLE<uint64_t>(p + 48);
    entry.shortName = DecodeShortName(p + 56);
    WString name = DecodeName(p + kEntryFixed, nameChars);
    name.resize(std::min(name.find(Char(0)), name.size()));
    entry.name = std::move(name);
    if (descriptorSize != 0 && descriptorSize <= kMaxV2Descriptor &&
        uint32_t{descriptorOffset} + descriptorSize <= length) {
      entry.descriptor.assign(p + descriptorOffset, p + descriptorOffset + descriptorSize);
      entry.descriptorOffset = descriptorOffset;
    }
    at += length;
    if (entry.name.empty()) continue;
    v2.tableBytes += kEntryFixed + 1 + 2 * (entry.name.size() + 1) + entry.descriptor.size();
    v2.entries.push_back(std::move(entry));
  }
  return err::kSuccess;
}

BOOL COrvMorlet::AddFileV2(LPCTSTR source, LPCTSTR name, const void* descriptor,
                           DWORD descriptorLength, const ORVFILEATTRIBUTEDATA* attributes) {
  V2State& v2 = V2();
  COrvLog& log = COrvLog::GetInstance();
  V2Entry entry;
  entry.name = WStringView(name).substr(0, kMaxNameCopy);
  const uint64_t nameChars = entry.name.size() + 1;
  if (DWORD error = SourceAttributes(source, attributes, entry.attributes)) return Fail(error);
  entry.shortName = SourceShortName(source);
  DWORD& stored = entry.attributes.dwFileAttributes;
  const uint64_t tableRoom = 2 * nameChars + 94;
  auto capacityLeft = [&] {
    return Minus(Minus(Minus(v2.header.capacity, tableRoom), v2.tableBytes), v2.writePosition);
  };

  if (stored & os::kAttrReparsePoint) {
    std::vector<uint8_t> reparse;
    uint64_t fileId = 0;
    ReparseStorage storage;
    if (DWORD error = CaptureReparse(source, false, reparse, fileId, storage)) return Fail(error);
    if (storage == ReparseStorage::kContent) {
      stored &= ~os::kAttrReparsePoint;
    } else {
      v2.remainingCapacity = capacityLeft();
      if (reparse.size() + 4 > v2.remainingCapacity) return Fail(err::kDiskFull);
      if (DWORD error = WriteReparseRecordV12(reparse)) return Fail(error);
      entry.dataOffset = v2.writePosition;
      entry.storedLength = reparse.size() + 4;
    }
  }
  if (!(stored & os::kAttrReparsePoint) && !(stored & os::kAttrDirectory)) {
    os::File file;
    if (DWORD error = file.Open(source, os::kGenericRead, os::kShareRead,
                                os::Disposition::kOpenExisting, os::kBackupSemantics))
      return Fail(error);
    entry.dataOffset = v2.writePosition;
    v2.remainingCapacity = capacityLeft();
    uint64_t size = 0;
    DWORD error = main_.Seek(static_cast<int64_t>(v2.writePosition), os::SeekFrom::kBegin);
    if (!error) error = file.Size(size);
    if (!error) RecordReadSize(entry.attributes, size);
    if (!error)
      error = DeflateFile(file, size, main_, DeflateStream::LevelOf(compression_),
                          &v2.remainingCapacity, buffers_, entry.storedLength);
    if (error) {
      log.AddError(ORV_T("ZIPCompressFile2 - %u"), error);
      // Lack of room is told as such; every other failure as the compressor's.
      return Fail(error == err::kDiskFull ? err::kDiskFull : err::kInternalError);
    }
  }
  if (descriptor && descriptorLength) {
    entry.descriptor.assign(static_cast<const uint8_t*>(descriptor),
                            static_cast<const uint8_t*>(descriptor) + descriptorLength);
  } else {
    entry.descriptor = SourceDescriptor(source);
  }
  if (entry.descriptor.size() > kMaxV2Descriptor) {
    // A cut descriptor is a corrupt one: none is better.
    log.AddWarning(ORV_T("Security descriptor of %s has %u bytes - not stored"), WString(name),
                   static_cast<uint32_t>(entry.descriptor.size()));
    entry.descriptor.clear();
  }
  if (!entry.descriptor.empty()) entry.descriptorOffset = static_cast<uint16_t>(90 + 2 * nameChars);
  v2.tableBytes += kEntryFixed + 1 + 2 * nameChars + entry.descriptor.size();
  v2.writePosition += entry.storedLength;
  v2.entries.push_back(std::move(entry));
  v2.written = true;
  return Succeed();
}

BOOL COrvMorlet::CloseV2() {
  V2State& v2 = V2();
  if (mode_ == 1) {
    main_.Close();
    return Succeed();
  }
  if (v2.header.dataStart == 0) v2.header.dataStart = kV2HeaderSize;
  if (v2.written) {
    if (!v2.entries.empty()) {
      std::vector<uint8_t> table;
      table.reserve(v2.tableBytes);
      for (const V2Entry& entry : v2.entries) {
        const size_t nameChars = entry.name.size() + 1;
        const size_t length = kEntryFixed + 2 * nameChars + entry.descriptor.size() + 1;
        const size_t at = table.size();
        table.resize(at + length, 0);
        uint8_t* p = table.data() + at;
        StoreLE<uint32_t>(p, static_cast<uint32_t>(length));
        EncodeAttributes(entry.attributes, p + 4);
        StoreLE<uint64_t>(p + 40, entry.storedLength);
        StoreLE<uint64_t>(p + 48, entry.dataOffset);
        EncodeShortName(entry.shortName, p + 56);
        StoreLE<uint16_t>(p + 84, static_cast<uint16_t>(nameChars));
        StoreLE<uint16_t>(p + 86, static_cast<uint16_t>(entry.descriptor.size()));
        StoreLE<uint16_t>(p + 88, entry.descriptorOffset);
        EncodeName(entry.name, p + kEntryFixed);
        std::copy(entry.descriptor.begin(), entry.descriptor.end(),
                  p + kEntryFixed + 2 * nameChars);
      }
      v2.header.tableOffset = v2.writePosition;
      v2.header.tableSize = static_cast<DWORD>(table.size());
      DWORD error = os::WriteAllAt(main_, v2.writePosition, table.data(), v2.header.tableSize);
      if (!error) error = main_.SetEnd();
      if (error) {
        main_.Close();
        return Fail(error);
      }
    } else {
      v2.header.tableOffset = 0;
      v2.header.tableSize = 0;
    }
    uint8_t bytes[kV2HeaderSize];
    EncodeV12Header(v2.header, bytes);
    const DWORD error = os::WriteAllAt(main_, 0, bytes, sizeof bytes);
    if (error) {
      main_.Close();
      return Fail(error);
    }
  }
  main_.Close();
  return Succeed();
}

BOOL COrvMorlet::NextEntryV2(int advance) {
  V2State& v2 = V2();
  if (v2.nextEntry >= v2.entries.size()) return Fail(err::kNoMoreItems);
  const V2Entry& entry = v2.entries[v2.nextEntry];
  v2.currentEntry = v2.nextEntry;
  MakeCurrent(entry.attributes, entry.name, SizeOf(entry.attributes));
  if (advance) ++v2.nextEntry;
  return Succeed();
}

BOOL COrvMorlet::ExtractCurrentV2(LPCTSTR folder) {
  V2State& v2 = V2();
  if (v2.currentEntry >= v2.entries.size()) return Fail(err::kNoMoreItems);
  const V2Entry& entry = v2.entries[v2.currentEntry];
  const RestoreItem item = ItemToRestore(entry.name, entry.attributes, entry.shortName);
  RestoreSources sources;
  sources.content = [&](ContentWriter& target) {
    uint64_t written = 0;
    const uint64_t size = ContentSizeOf(entry.attributes);
    DWORD error = main_.Seek(static_cast<int64_t>(entry.dataOffset), os::SeekFrom::kBegin);
    if (!error) error = InflateFile(main_, entry.storedLength, size, target, buffers_, written);
    if (!error && size != kAnySize && written != size) error = err::kInternalError;
    return error;
  };
  sources.reparse = [&](std::vector<uint8_t>& data) {
    return ReadReparseRecordV12(entry.dataOffset, data);
  };
  sources.descriptor = [&](std::vector<uint8_t>& descriptor) {
    descriptor = entry.descriptor;
    return err::kSuccess;
  };
  const DWORD error = RestoreEntry(folder, item, sources, session_);
  RefreshCurrent(entry.attributes, entry.name, SizeOf(entry.attributes));
  return error ? Fail(error) : Succeed();
}

}  // namespace orv
