// The on-disk structures of the master-file-table reader, built byte by byte: every
// field that points or counts is checked before use, so damaged input fails with 1392
// (or 1005 for a volume that is no NTFS) and never reads outside the record.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "services/ntfs_boot.h"
#include "services/ntfs_file.h"
#include "services/ntfs_runs.h"

namespace orv::ntfs {
namespace {

constexpr DWORD kCorrupt = 1392;

void Put(std::vector<uint8_t>& bytes, size_t at, uint64_t value, size_t size) {
  for (size_t i = 0; i < size; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> BootSector() {
  std::vector<uint8_t> sector(512);
  std::memcpy(&sector[3], "NTFS    ", 8);
  Put(sector, 0x0B, 512, 2);
  sector[0x0D] = 8;                   // 4 KiB clusters
  Put(sector, 0x28, 1 << 20, 8);      // 512 MiB
  Put(sector, 0x30, 4, 8);            // table at cluster 4
  sector[0x40] = 0xF6;                // records of 2^10 bytes
  sector[510] = 0x55;
  sector[511] = 0xAA;
  return sector;
}

TEST(NtfsBootSector, GivesTheGeometryAndRefusesSizesOutOfRange) {
  Geometry geometry;
  ASSERT_EQ(ReadBootSector(BootSector().data(), geometry), 0u);
  EXPECT_EQ(geometry.clusterSize, 4096u);
  EXPECT_EQ(geometry.recordSize, 1024u);
  EXPECT_EQ(geometry.totalClusters, 131072u);
  EXPECT_EQ(geometry.mftCluster, 4u);

  auto refused = [](size_t at, uint64_t value, size_t size) {
    std::vector<uint8_t> sector = BootSector();
    Put(sector, at, value, size);
    Geometry unused;
    return ReadBootSector(sector.data(), unused);
  };
  EXPECT_EQ(refused(3, 'F', 1), 1005u);
  EXPECT_EQ(refused(0x0B, 0, 2), kCorrupt);           // no sector size
  EXPECT_EQ(refused(0x0B, 768, 2), kCorrupt);         // not a power of two
  EXPECT_EQ(refused(0x0D, 0, 1), kCorrupt);           // no cluster size
  EXPECT_EQ(refused(0x0D, 0xE0, 1), kCorrupt);        // 2^32 sectors a cluster
  EXPECT_EQ(refused(0x28, 0, 8), kCorrupt);           // an empty volume
  EXPECT_EQ(refused(0x28, ~0ull, 8), kCorrupt);       // more bytes than offsets reach
  EXPECT_EQ(refused(0x30, 1 << 17, 8), kCorrupt);     // table past the end
  EXPECT_EQ(refused(0x40, 0x80, 1), kCorrupt);        // 2^128-byte records
  EXPECT_EQ(refused(0x40, 0x7F, 1), kCorrupt);        // 127 clusters a record
}

// A 1024-byte record with its update sequence applied, holding one non-resident
// unnamed data attribute whose runs are `runs`.
std::vector<uint8_t> Record(const std::vector<uint8_t>& runs, uint64_t lastVcn) {
  std::vector<uint8_t> record(1024);
  std::memcpy(record.data(), "FILE", 4);
  Put(record, 4, 0x30, 2);  // update-sequence array
  Put(record, 6, 3, 2);
  Put(record, 0x14, 0x38, 2);  // first attribute
  Put(record, 0x16, kRecordInUse, 2);
  Put(record, 0x18, 0x200, 4);  // bytes in use
  const size_t length = (0x40 + runs.size() + 1 + 7) / 8 * 8;
  Put(record, 0x38, kData, 4);
  Put(record, 0x38 + 4, length, 4);
  record[0x38 + 8] = 1;
  Put(record, 0x38 + 0x18, lastVcn, 8);
  Put(record, 0x38 + 0x20, 0x40, 2);
  Put(record, 0x38 + 0x30, (lastVcn + 1) * 4096, 8);
  Put(record, 0x38 + 0x38, (lastVcn + 1) * 4096, 8);
  std::memcpy(&record[0x38 + 0x40], runs.data(), runs.size());
  Put(record, 0x38 + length, 0xFFFFFFFF, 4);
  // The sequence number 7 at each stride's end; the true bytes kept in the array.
  Put(record, 0x30, 7, 2);
  for (size_t i = 1; i <= 2; ++i) {
    Put(record, 0x30 + 2 * i, 0xAB00 + i, 2);
    Put(record, i * 512 - 2, 7, 2);
  }
  return record;
}

TEST(NtfsRecord, FixesUpStridesAndRefusesTornOnes) {
  std::vector<uint8_t> record = Record({0x11, 0x04, 0x20}, 3);
  ASSERT_EQ(ApplyFixups(record), 0u);
  EXPECT_EQ(record[510], 0x01);
  EXPECT_EQ(record[1023], 0xAB);

  auto damaged = [](size_t at, uint64_t value, size_t size) {
    std::vector<uint8_t> record = Record({0x11, 0x04, 0x20}, 3);
    Put(record, at, value, size);
    return ApplyFixups(record);
  };
  EXPECT_EQ(damaged(1022, 8, 2), kCorrupt);     // a torn second stride
  EXPECT_EQ(damaged(6, 9, 2), kCorrupt);        // an array of the wrong size
  EXPECT_EQ(damaged(4, 1020, 2), kCorrupt);     // an array past the end
  EXPECT_EQ(damaged(0, 'B', 1), kCorrupt);      // no record signature
}

TEST(NtfsRecord, DecodesRunsWithHolesAndBackwardSteps) {
  // 4 clusters at 32, 2 sparse, 3 at 32 - 16 = 16.
  std::vector<uint8_t> record = Record({0x11, 0x04, 0x20, 0x01, 0x02, 0x11, 0x03, 0xF0}, 8);
  ASSERT_EQ(ApplyFixups(record), 0u);
  FileData data;
  ASSERT_EQ(LocateFileData(record, 1000, 4096, data), 0u);
  ASSERT_EQ(data.extents.size(), 3u);
  EXPECT_EQ(data.extents[0].lcn, 32u);
  EXPECT_TRUE(data.extents[1].sparse);
  EXPECT_EQ(data.extents[1].vcn, 4u);
  EXPECT_EQ(data.extents[2].lcn, 16u);
  EXPECT_EQ(data.extents[2].length, 3u);
  EXPECT_EQ(CoveredClusters(data.extents), 9u);
}

TEST(NtfsRuns, FindsTheExtentOfAClusterByBisection) {
  // 20,000 runs of 3 clusters, every other one a hole.
  std::vector<Extent> extents;
  for (uint64_t i = 0; i < 20000; ++i) extents.push_back({i * 3, 100 + i * 3, 3, i % 2 == 1});
  for (const uint64_t vcn : {uint64_t{0}, uint64_t{2}, uint64_t{3}, uint64_t{31337}, uint64_t{59999}}) {
    const Extent* found = FindExtent(extents, vcn);
    ASSERT_NE(found, nullptr) << vcn;
    EXPECT_EQ(found->vcn, vcn / 3 * 3);
  }
  EXPECT_EQ(FindExtent(extents, 60000), nullptr);
  EXPECT_EQ(FindExtent({}, 0), nullptr);
  EXPECT_EQ(FindExtent({{5, 1, 2, false}}, 4), nullptr);  // before the first
  EXPECT_EQ(AllocatedClusters(extents, 0, 12), 6u);
  EXPECT_EQ(AllocatedClusters(extents, 4, 2), 0u);        // inside a hole
  EXPECT_EQ(AllocatedClusters(extents, 5, 2), 1u);        // the hole's end, the next run
  EXPECT_EQ(AllocatedClusters(extents, 59990, 100), 4u);  // past the end
}

TEST(NtfsRecord, RefusesRunsAndAttributesOutsideTheirBounds) {
  auto located = [](const std::vector<uint8_t>& runs, uint64_t lastVcn, uint64_t clusters) {
    std::vector<uint8_t> record = Record(runs, lastVcn);
    EXPECT_EQ(ApplyFixups(record), 0u);
    FileData data;
    return LocateFileData(record, clusters, 4096, data);
  };
  EXPECT_EQ(located({0x11, 0x04, 0x20}, 3, 35), kCorrupt);        // past the volume's end
  EXPECT_EQ(located({0x11, 0x04, 0xE0}, 3, 1000), kCorrupt);      // before its start
  EXPECT_EQ(located({0x11, 0x05, 0x20}, 3, 1000), kCorrupt);      // more than the attribute
  EXPECT_EQ(located({0x11, 0x00, 0x20}, 3, 1000), kCorrupt);      // an empty run
  EXPECT_EQ(located({0x19, 0x04, 0x20}, 3, 1000), kCorrupt);      // a 9-byte length
  EXPECT_EQ(located({0x11, 0x02, 0x20}, 3, 1000), kCorrupt);      // short of the data size
  EXPECT_EQ(located({0x91, 0x04, 0x20, 0, 0, 0, 0, 0, 0, 0, 0}, 3, 1000), kCorrupt);  // 9-byte offset
  EXPECT_EQ(located({0x11, 0x04, 0x20}, 3, 1000), 0u);

  auto walked = [](size_t at, uint64_t value, size_t size) {
    std::vector<uint8_t> record = Record({0x11, 0x04, 0x20}, 3);
    EXPECT_EQ(ApplyFixups(record), 0u);
    Put(record, at, value, size);
    FileData data;
    return LocateFileData(record, 1000, 4096, data);
  };
  EXPECT_EQ(walked(0x38 + 4, 0, 4), kCorrupt);        // a zero-length attribute
  EXPECT_EQ(walked(0x38 + 4, 0x1000, 4), kCorrupt);   // longer than the record
  EXPECT_EQ(walked(0x14, 0x3F8, 2), kCorrupt);        // first attribute past the end
  EXPECT_EQ(walked(0x38 + 9, 1, 1), 2u);              // a named stream is not the data
  EXPECT_EQ(walked(0x38 + 9, 40, 1), kCorrupt);       // a name past the attribute
  EXPECT_EQ(walked(0x38 + 0x0C, 0x0001, 2), 50u);     // compressed
  EXPECT_EQ(walked(0x38 + 0x0C, 0x4000, 2), 6002u);   // encrypted
  EXPECT_EQ(walked(0x38 + 0x20, 0x300, 2), kCorrupt); // runs past the attribute
}

}  // namespace
}  // namespace orv::ntfs
