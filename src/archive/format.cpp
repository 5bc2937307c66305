#include "archive/format.h"

#include <algorithm>
#include <cstring>

#include "platform/little_endian.h"

namespace orv::archive {

namespace {

constexpr uint8_t kVirtualDiskMark[8] = {0x21, 0x58, 0x53, 0x53, 0x58, 0x53, 0x53, 0x21};
constexpr uint8_t kWimMark[8] = {0x4D, 0x53, 0x57, 0x49, 0x4D, 0x00, 0x00, 0x00};

}  // namespace

DWORD ArchiveTypeOf(const uint8_t* bytes, DWORD size) {
  if (size >= 8 && std::memcmp(bytes, kVirtualDiskMark, 8) == 0) return kTypeVirtualDisk;
  if (size >= 8 && std::memcmp(bytes, kWimMark, 8) == 0) return kTypeWim;
  if (size < 12) return kTypeVersion1;
  const uint32_t version = LoadLE<uint32_t>(bytes + 8);
  if (version == 2 || version == 5 || version == 6) return version;
  return kTypeVersion1;
}

void EncodeAttributes(const ORVFILEATTRIBUTEDATA& a, uint8_t* out) {
  StoreLE<uint32_t>(out, a.dwFileAttributes);
  StoreLE<uint32_t>(out + 4, a.ftCreationTime.dwLowDateTime);
  StoreLE<uint32_t>(out + 8, a.ftCreationTime.dwHighDateTime);
  StoreLE<uint32_t>(out + 12, a.ftLastAccessTime.dwLowDateTime);
  StoreLE<uint32_t>(out + 16, a.ftLastAccessTime.dwHighDateTime);
  StoreLE<uint32_t>(out + 20, a.ftLastWriteTime.dwLowDateTime);
  StoreLE<uint32_t>(out + 24, a.ftLastWriteTime.dwHighDateTime);
  StoreLE<uint32_t>(out + 28, a.nFileSizeHigh);
  StoreLE<uint32_t>(out + 32, a.nFileSizeLow);
}

ORVFILEATTRIBUTEDATA DecodeAttributes(const uint8_t* in) {
  ORVFILEATTRIBUTEDATA a{};
  a.dwFileAttributes = LoadLE<uint32_t>(in);
  a.ftCreationTime = {LoadLE<uint32_t>(in + 4), LoadLE<uint32_t>(in + 8)};
  a.ftLastAccessTime = {LoadLE<uint32_t>(in + 12), LoadLE<uint32_t>(in + 16)};
  a.ftLastWriteTime = {LoadLE<uint32_t>(in + 20), LoadLE<uint32_t>(in + 24)};
  a.nFileSizeHigh = LoadLE<uint32_t>(in + 28);
  a.nFileSizeLow = LoadLE<uint32_t>(in + 32);
  return a;
}

uint64_t SizeOf(const ORVFILEATTRIBUTEDATA& a) {
  return (uint64_t{a.nFileSizeHigh} << 32) | a.nFileSizeLow;
}

uint64_t ContentSizeOf(const ORVFILEATTRIBUTEDATA& a) {
  const bool encrypted = (a.dwFileAttributes & 0x4000) && !(a.dwFileAttributes & 0x10);
  return encrypted ? kAnySize : SizeOf(a);
}

uint64_t ToU64(const ORVFILETIME& time) {
  return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

ORVFILETIME ToFileTime(uint64_t time) {
  return {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
}

void EncodeShortName(WStringView name, uint8_t* out) {
  std::memset(out, 0, kShortNameBytes);
  EncodeName(name.substr(0, kShortNameChars - 1), out);
}

WString DecodeShortName(const uint8_t* in) {
  WString name = DecodeName(in, kShortNameChars);
  return name.substr(0, std::min(name.find(Char(0)), size_t{kShortNameChars - 1}));
}

void EncodeName(WStringView name, uint8_t* out) {
  for (size_t i = 0; i < name.size(); ++i)
    StoreLE<uint16_t>(out + 2 * i, static_cast<uint16_t>(name[i]));
}

WString DecodeName(const uint8_t* in, size_t chars) {
  WString name(chars, Char(0));
  for (size_t i = 0; i < chars; ++i) name[i] = static_cast<Char>(LoadLE<uint16_t>(in + 2 * i));
  return name;
}

void EncodeV56Header(const V56Header& header, uint8_t* out) {
  std::memset(out, 0, kV56HeaderSize);
  std::memcpy(out, kMagic, sizeof kMagic);
  StoreLE<uint32_t>(out + 8, header.version);
  StoreLE<uint64_t>(out + 12, 0);
  StoreLE<uint64_t>(out + 20, kV56HeaderSize);
  StoreLE<uint32_t>(out + 28, 1);
  StoreLE<uint32_t>(out + 32, 0);
  StoreLE<uint32_t>(out + 36, header.lastPart);
}

bool DecodeV56Header(const uint8_t* in, V56Header& header) {
  if (std::memcmp(in, kMagic, sizeof kMagic) != 0) return false;
  header.version = LoadLE<uint32_t>(in + 8);
  header.lastPart = LoadLE<uint32_t>(in + 36);
  return true;
}

void EncodeV12Header(const V12Header& header, uint8_t* out) {
  const uint32_t size = header.version == 2 ? kV2HeaderSize : kV1HeaderSize;
  std::memset(out, 0, size);
  std::memcpy(out, kMagic, sizeof kMagic);
  StoreLE<uint32_t>(out + 8, header.version);
  StoreLE<uint64_t>(out + 12, header.dataStart);
  StoreLE<uint64_t>(out + 20, header.tableOffset);
  StoreLE<uint32_t>(out + 28, header.tableSize);
  if (header.version == 2) StoreLE<uint64_t>(out + 32, header.capacity);
}

bool DecodeV12Header(const uint8_t* in, V12Header& header) {
  if (std::memcmp(in, kMagic, sizeof kMagic) != 0) return false;
  header.version = LoadLE<uint32_t>(in + 8);
  header.dataStart = LoadLE<uint64_t>(in + 12);
  header.tableOffset = LoadLE<uint64_t>(in + 20);
  header.tableSize = LoadLE<uint32_t>(in + 28);
  header.capacity = header.version == 2 ? LoadLE<uint64_t>(in + 32) : 0;
  return true;
}

uint32_t RecordFixedSize(DWORD version) {
  return version == kTypeVersion6 ? kV6RecordFixed : kV5RecordFixed;
}

void EncodeRecord(DWORD version, EntryRecord& record, std::vector<uint8_t>& out) {
  const uint32_t fixed = RecordFixedSize(version);
  const size_t nameChars = record.name.size() + 1;
  record.recordLength = static_cast<DWORD>(fixed + 2 * nameChars);
  out.assign(record.recordLength, 0);
  uint8_t* p = out.data();
  StoreLE<uint32_t>(p, record.recordLength);
  EncodeAttributes(record.attributes, p + 4);
  StoreLE<uint64_t>(p + 40, record.storedLength);
  if (version == kTypeVersion6) {
    StoreLE<uint64_t>(p + 48, record.fileId);
    p += 8;
  }
  StoreLE<uint64_t>(p + 48, record.blockCount);
  StoreLE<uint64_t>(p + 56, record.dataOffset);
  StoreLE<uint64_t>(p + 64, record.descriptorOffset);
  StoreLE<uint32_t>(p + 72, record.dataPart);
  StoreLE<uint32_t>(p + 76, record.descriptorPart);
  EncodeShortName(record.shortName, p + 80);
  StoreLE<uint16_t>(p + 108, static_cast<uint16_t>(nameChars));
  EncodeName(record.name, p + 110);
}

bool DecodeRecordFixed(DWORD version, const uint8_t* in, EntryRecord& record,
                       uint32_t& nameChars) {
  const uint32_t fixed = RecordFixedSize(version);
  const uint8_t* p = in;
  record.recordLength = LoadLE<uint32_t>(p);
  record.attributes = DecodeAttributes(p + 4);
  record.storedLength = LoadLE<uint64_t>(p + 40);
  record.fileId = 0;
  if (version == kTypeVersion6) {
    record.fileId = LoadLE<uint64_t>(p + 48);
    p += 8;
  }
  record.blockCount = LoadLE<uint64_t>(p + 48);
  record.dataOffset = LoadLE<uint64_t>(p + 56);
  record.descriptorOffset = LoadLE<uint64_t>(p + 64);
  record.dataPart = LoadLE<uint32_t>(p + 72);
  record.descriptorPart = LoadLE<uint32_t>(p + 76);
  record.shortName = DecodeShortName(p + 80);
  nameChars = LoadLE<uint16_t>(p + 108);
  // The walk steps by the record length: it must at least cover the record itself.
  return record.recordLength >= fixed + 2 * nameChars;
}

}  // namespace orv::archive
