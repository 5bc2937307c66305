// The bytes of an archive: headers, entry records and the attribute block, with the
// constants every reader and writer of the format shares.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"
#include "vantrel/vantrel.h"

namespace orv::archive {

inline constexpr char kMagic[8] = {'M', 'R', 'L', 'L', 'I', 'G', 'H', 'T'};
inline constexpr DWORD kTypeVersion1 = 1;
inline constexpr DWORD kTypeVersion2 = 2;
inline constexpr DWORD kTypeVirtualDisk = 3;
inline constexpr DWORD kTypeWim = 4;
inline constexpr DWORD kTypeVersion5 = 5;
inline constexpr DWORD kTypeVersion6 = 6;

inline constexpr uint32_t kBlockSize = 1048576;  // file content per compressed block
// Output room of a deflate pass (versions 1, 2): what the format has always used.
inline constexpr uint32_t kDeflateOutputSize = 1064979;
// LZO1X-1 worst case for one block: in + in/16 + 64 + 3.
inline constexpr uint32_t kMaxLzoBlock = kBlockSize + kBlockSize / 16 + 64 + 3;
inline constexpr uint32_t kReparseBufferSize = 17000;
inline constexpr uint32_t kMaxNameCopy = 260;       // characters kept of a name
inline constexpr uint32_t kMaxTargetPath = 1024;    // characters of an extraction path
inline constexpr uint32_t kMaxV2Name = 1024;        // table walk ends past this
// The largest table of contents (versions 1 and 2) taken into memory: far above what a
// writer makes (archives rotate at 5,000 entries), far below what a 32-bit process has.
inline constexpr uint32_t kMaxTableBytes = 256u << 20;
inline constexpr uint32_t kMaxV2Descriptor = 1024;
// Security descriptors larger than this are not real (the system limit is 64 KiB).
inline constexpr uint32_t kMaxDescriptor = 65536;
inline constexpr uint64_t kNoOffset = ~uint64_t{0};
inline constexpr uint32_t kNoPart = 0xFFFFFFFF;
inline constexpr uint64_t kDefaultSplitSize = 681574400;  // 650 MiB
inline constexpr uint32_t kShortNameBytes = 28;
inline constexpr uint32_t kShortNameChars = 14;
inline constexpr uint32_t kAttributeBlockBytes = 36;

// The archive type a file holds, from its first bytes (at least 12 are looked at): a
// virtual-disk image, a WIM file, or the archive version of its header (1 for any other).
DWORD ArchiveTypeOf(const uint8_t* bytes, DWORD size);

// Header sizes and first data bytes.
inline constexpr uint32_t kV1HeaderSize = 32;
inline constexpr uint32_t kV2HeaderSize = 40;
inline constexpr uint32_t kV56HeaderSize = 40;
// A version 1 table entry without its name (the name's closing zero included).
inline constexpr uint32_t kV1EntryFixed = 112;

// The 36-byte attribute block, as stored.
void EncodeAttributes(const ORVFILEATTRIBUTEDATA& attributes, uint8_t* out);
ORVFILEATTRIBUTEDATA DecodeAttributes(const uint8_t* in);
uint64_t SizeOf(const ORVFILEATTRIBUTEDATA& attributes);
// What the content of an entry of version 2, 5 or 6 must decompress to: the file size,
// except for an encrypted file, whose content is its raw stream of another length
// (kAnySize).
inline constexpr uint64_t kAnySize = ~uint64_t{0};
uint64_t ContentSizeOf(const ORVFILEATTRIBUTEDATA& attributes);
uint64_t ToU64(const ORVFILETIME& time);
ORVFILETIME ToFileTime(uint64_t time);

// A short name field: at most 13 characters, zero-padded to 28 bytes.
void EncodeShortName(WStringView name, uint8_t* out);
WString DecodeShortName(const uint8_t* in);

// Names stored as UTF-16LE code units.
void EncodeName(WStringView name, uint8_t* out);
WString DecodeName(const uint8_t* in, size_t chars);

// Version 5 and 6 main-file header.
struct V56Header {
  DWORD version = 5;
  DWORD lastPart = 1;
};
void EncodeV56Header(const V56Header& header, uint8_t* out);
bool DecodeV56Header(const uint8_t* in, V56Header& header);  // false: wrong magic

// Version 1 and 2 headers (version 2 adds the capacity).
struct V12Header {
  DWORD version = 2;
  uint64_t dataStart = 0;
  uint64_t tableOffset = 0;
  DWORD tableSize = 0;
  uint64_t capacity = 0;
};
void EncodeV12Header(const V12Header& header, uint8_t* out);
bool DecodeV12Header(const uint8_t* in, V12Header& header);  // false: wrong magic

// One entry record of a version 5 or 6 main file.
struct EntryRecord {
  DWORD recordLength = 0;
  ORVFILEATTRIBUTEDATA attributes{};
  uint64_t storedLength = 0;
  uint64_t fileId = 0;  // version 6 only
  uint64_t blockCount = 0;
  uint64_t dataOffset = 0;
  uint64_t descriptorOffset = 0;
  DWORD dataPart = 0;
  DWORD descriptorPart = kNoPart;
  WString shortName;
  WString name;
};
inline constexpr uint32_t kV5RecordFixed = 110;
inline constexpr uint32_t kV6RecordFixed = 118;
uint32_t RecordFixedSize(DWORD version);
// The record's bytes; the record length is set from the name.
void EncodeRecord(DWORD version, EntryRecord& record, std::vector<uint8_t>& out);
// Decodes the fixed part; `nameChars` receives n. False when the fixed fields are not
// a record (length 0 or too small for its own name).
bool DecodeRecordFixed(DWORD version, const uint8_t* in, EntryRecord& record, uint32_t& nameChars);

}  // namespace orv::archive
