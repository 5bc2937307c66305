// Sector images read back: what the writer made opens whole, across its parts, and a
// header that claims more than its files hold is refused before anything trusts it.
#include <gtest/gtest.h>

#include "archive/archive_support.h"
#include "lamina/image_parts.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

using lamina::Extent;
using lamina::ImagePartsReader;
using lamina::ImagePartsWriter;
using lamina::SectorImageHeader;

constexpr uint64_t kPartition = 256 * 1024;

SectorImageHeader SampleHeader(uint64_t partSize) {
  SectorImageHeader header;
  header.partitionSize = kPartition;
  header.extents = {Extent{0, 4096}, Extent{65536, 8192}};
  header.dataOffset = lamina::DataOffsetFor(header.extents.size());
  header.partSize = partSize;
  return header;
}

// Writes the header and a recognisable byte at the start of each extent.
void WriteImage(const WString& path, const SectorImageHeader& header) {
  ImagePartsWriter writer(path, header.ImageSize(), header.partSize);
  ASSERT_EQ(writer.Create(), 0u);
  const std::vector<uint8_t> head = lamina::EncodeHeader(header);
  ASSERT_EQ(writer.Write(0, head.data(), static_cast<DWORD>(head.size())), 0u);
  for (const Extent& extent : header.extents) {
    const uint8_t mark = static_cast<uint8_t>(extent.offset >> 12 | 1);
    ASSERT_EQ(writer.Write(header.dataOffset + extent.offset, &mark, 1), 0u);
  }
  ASSERT_EQ(writer.Finish(), 0u);
}

// The stored header with one field changed.
template <typename T>
void Patch(const WString& path, size_t offset, T value) {
  std::vector<uint8_t> bytes = RawFile(path);
  StoreLE<T>(bytes.data() + offset, value);
  os::DeleteFile(path);
  WriteRaw(path, bytes);
}

TEST(SectorImage, OpensWholeAndAcrossItsParts) {
  TempFolder folder;
  for (uint64_t partSize : {uint64_t{0}, uint64_t{300000}}) {
    const WString path = folder / (partSize ? ORV_T("split.INP") : ORV_T("whole.INP"));
    const SectorImageHeader header = SampleHeader(partSize);
    WriteImage(path, header);
    ImagePartsReader reader;
    ASSERT_EQ(reader.Open(path), 0u);
    EXPECT_EQ(reader.Header().partitionSize, kPartition);
    ASSERT_EQ(reader.Header().extents.size(), 2u);
    EXPECT_EQ(reader.Header().extents[1].offset, 65536u);
    uint8_t mark = 0;
    ASSERT_EQ(reader.Read(header.dataOffset + 65536, &mark, 1), 0u);
    EXPECT_EQ(mark, 17);
  }
  // 1 MiB of header and table plus the partition, cut at 300,000 bytes: five parts.
  EXPECT_EQ(FileSize(folder / ORV_T("split.INP")), 300000u);
  EXPECT_EQ(FileSize(folder / ORV_T("split_0003.INP")), 300000u);
  EXPECT_EQ(FileSize(folder / ORV_T("split_0004.INP")), (1u << 20) + kPartition - 1200000);
  EXPECT_FALSE(Exists(folder / ORV_T("split_0005.INP")));
}

TEST(SectorImage, AnUnfinishedWriteLeavesNothingAndAnExistingFileIsKept) {
  TempFolder folder;
  const WString path = folder / ORV_T("BASE.INP");
  {
    ImagePartsWriter writer(path, (1u << 20) + kPartition, 400000);
    ASSERT_EQ(writer.Create(), 0u);
    const uint8_t byte = 1;
    ASSERT_EQ(writer.Write(900000, &byte, 1), 0u);
  }
  EXPECT_FALSE(Exists(path));
  EXPECT_FALSE(Exists(folder / ORV_T("BASE_0002.INP")));
  WriteFile(path, "someone's file");
  ImagePartsWriter writer(path, kPartition, 0);
  EXPECT_NE(writer.Create(), 0u);
  EXPECT_EQ(ReadFile(path), "someone's file");
}

TEST(SectorImage, AHeaderThatClaimsMoreThanTheFilesHoldIsRefused) {
  TempFolder folder;
  const WString path = folder / ORV_T("BASE.INP");
  struct Case {
    const char* what;
    size_t offset;
    uint64_t value;
  };
  const Case cases[] = {
      {"a partition larger than the file", 16, kPartition * 4},
      {"more extents than fit before the data", 32, 70000},
      {"more extents than any volume has", 32, uint64_t{1} << 40},
      {"data beyond the end of the file", 24, uint64_t{1} << 62},
      {"a partition that wraps the offset", 16, ~uint64_t{0} - 4095},
      {"a sector size that is no power of two", 12, 1000},
      {"an extent past the partition's end", 64 + 16, kPartition},
      {"an extent that wraps around", 64 + 24, ~uint64_t{0} - 4095},
      {"parts that are not there", 40, 4096},
  };
  for (const Case& c : cases) {
    os::DeleteFile(path);
    WriteImage(path, SampleHeader(0));
    if (c.offset == 12)
      Patch<uint32_t>(path, c.offset, static_cast<uint32_t>(c.value));
    else
      Patch<uint64_t>(path, c.offset, c.value);
    ImagePartsReader reader;
    EXPECT_EQ(reader.Open(path), err::kInvalidData) << c.what;
  }

  // A part of a split image gone, or cut short.
  os::DeleteFile(path);
  WriteImage(path, SampleHeader(300000));
  ASSERT_EQ(os::DeleteFile(folder / ORV_T("BASE_0003.INP")), 0u);
  ImagePartsReader reader;
  EXPECT_EQ(reader.Open(path), err::kInvalidData);
  WriteFile(folder / ORV_T("BASE_0003.INP"), "short");
  EXPECT_EQ(reader.Open(path), err::kInvalidData);
}

}  // namespace
}  // namespace orv::test
