// One record of the master file table: the update-sequence fix-up that makes it
// readable, its header, and the walk over its attributes. Every field is checked
// against the record's bounds before it is used.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "vantrel/types.h"

namespace orv::ntfs {

inline constexpr uint32_t kStandardInformation = 0x10;
inline constexpr uint32_t kAttributeList = 0x20;
inline constexpr uint32_t kFileName = 0x30;
inline constexpr uint32_t kData = 0x80;

inline constexpr uint16_t kRecordInUse = 0x0001;
inline constexpr uint16_t kRecordIsDirectory = 0x0002;

// Sparse attributes carry a compression unit too; only this flag marks compressed data.
inline constexpr uint16_t kAttributeCompressed = 0x00FF;
inline constexpr uint16_t kAttributeEncrypted = 0x4000;

// Record numbers are the low 48 bits of a file reference; the top 16 bits are the
// record's sequence number.
inline uint64_t RecordOf(uint64_t reference) { return reference & 0xFFFFFFFFFFFFull; }
inline uint16_t SequenceOf(uint64_t reference) { return static_cast<uint16_t>(reference >> 48); }

// Checks the record's signature and puts back the last two bytes of each 512-byte
// stride from the update-sequence array. 1392 when the record is damaged or torn.
DWORD ApplyFixups(std::vector<uint8_t>& record);

struct RecordHeader {
  uint16_t sequence = 0;
  uint16_t flags = 0;
  uint64_t baseReference = 0;  // 0 for a base record
};

struct Attribute {
  uint32_t type = 0;
  uint16_t flags = 0;
  bool named = false;
  bool nonResident = false;
  // Resident: the value.
  const uint8_t* value = nullptr;
  uint32_t valueSize = 0;
  // Non-resident: the clusters it covers and the encoded runs.
  uint64_t firstVcn = 0;
  uint64_t lastVcn = 0;
  uint16_t compressionUnit = 0;
  uint64_t dataSize = 0;
  uint64_t initializedSize = 0;
  const uint8_t* runs = nullptr;
  uint32_t runsSize = 0;
};

// Reads the header and calls `visit` for each attribute until it returns false. 1392 when
// a header or attribute field points outside the record.
DWORD WalkRecord(const std::vector<uint8_t>& record, RecordHeader& header,
                 const std::function<bool(const Attribute&)>& visit);

}  // namespace orv::ntfs
