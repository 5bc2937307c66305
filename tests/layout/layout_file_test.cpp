#include "layout/layout_file.h"

#include <gtest/gtest.h>

#include <chrono>

#include "layout/layout_xml.h"
#include "platform/encoding.h"
#include "services/text_file.h"
#include "services/xml.h"
#include "services_disk/described_disks.h"

namespace orv {
namespace {

using test::kCylinder;
using test::kGiB;
using test::kMiB;
using test::kTrack;
using test::Layout;
using test::PartitionXml;
using test::Records;
using test::Stored;

COrvDisk Load(const WString& path, int number) {
  COrvDisk disk;
  COrvError error;
  error.SetError(5);
  EXPECT_TRUE(LoadLayout(path, number, error, disk));
  EXPECT_EQ(error.GetError(), 0u);
  return disk;
}

// Attributes of the element that a query selects, "<absent>" for a missing one.
std::string Attribute(const WString& path, const Char* query, const Char* name) {
  XmlRef<IOrvXmlDocument> document(GetOrvXmlInterface(0));
  if (document->Load(path) != 0) return "<no file>";
  IOrvXmlElement* raw = nullptr;
  if (document->SelectNode(query, raw) != 0) return "<no element>";
  XmlRef<IOrvXmlElement> element(raw);
  WString text;
  return ReadAttributeText(*element, name, text) ? os::ToUtf8(text) : "<absent>";
}

class LayoutFileTest : public ::testing::Test {
 protected:
  LayoutFileTest()
      : disks_(test::DiskXml(
            1, 100 * kGiB,
            PartitionXml(1, kTrack, 20 * kGiB, "07",
                         "Folder=\"" + os::ToUtf8(volume_.Path()) +
                             "\" FileSystem=\"NTFS\" Label=\"SYSTEM\" OemId=\"NTFS\" "
                             "WindowsVersion=\"6.1.7601\" WindowsType=\"3\" Active=\"TRUE\"") +
                PartitionXml(2, 30 * kGiB, 10 * kGiB, "DD", "Mountable=\"TRUE\"") +
                PartitionXml(3, 40 * kGiB, 10 * kGiB, "07",
                             "Mountable=\"TRUE\" FileSystem=\"FAT32\"") +
                PartitionXml(4, 50 * kGiB, 20 * kGiB, "0F") +
                PartitionXml(5, 50 * kGiB + kTrack, 5 * kGiB, "07",
                             "Primary=\"FALSE\" Mountable=\"TRUE\" Label=\"\"") +
                PartitionXml(6, 90 * kGiB, 10 * kGiB, "27",
                             "Recovery=\"TRUE\" Label=\"RECOVERY\" Mountable=\"TRUE\""))) {}

  void WriteDisk1() {
    COrvDisk disk;
    ASSERT_TRUE(disk.Open(1) && disk.Enumerate());
    ASSERT_EQ(WriteLayoutFile(path_, {{1, 7 * kGiB}, {2, 3 * kGiB}, {4, 0}, {5, kGiB}, {6, 1}}, disk),
              0u);
  }

  test::TempFolder volume_;
  test::DescribedDisks disks_;
  WString path_ = disks_.Folder() / ORV_T("MRL.XML");
};

TEST_F(LayoutFileTest, WritesCapturedPartitionsAndTheRecoveryPartition) {
  WriteDisk1();
  const std::string bytes = test::ReadFile(path_);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");

  const Char* p1 = ORV_T("image/disk[@Number='1']/partition[@Number='1']");
  EXPECT_EQ(Attribute(path_, ORV_T("image"), ORV_T("DiskCount")), "1");
  EXPECT_EQ(Attribute(path_, ORV_T("image/disk"), ORV_T("Name")), "Test disk 1");
  EXPECT_EQ(Attribute(path_, ORV_T("image/disk"), ORV_T("Size")), std::to_string(100 * kGiB));
  EXPECT_EQ(Attribute(path_, p1, ORV_T("Starting_Offset")), "32256");
  EXPECT_EQ(Attribute(path_, p1, ORV_T("Type")), "07");
  EXPECT_EQ(Attribute(path_, p1, ORV_T("Primary")), "TRUE");
  EXPECT_EQ(Attribute(path_, p1, ORV_T("Mountable")), "TRUE");
  EXPECT_EQ(Attribute(path_, p1, ORV_T("SystemID")), "NTFS");
  EXPECT_EQ(Attribute(path_, p1, ORV_T("VolumeName")), "SYSTEM");
  EXPECT_EQ(Attribute(path_, p1, ORV_T("Version")), "6.1.7601");
  EXPECT_EQ(Attribute(path_, p1, ORV_T("Windows_Type")), "3");
  EXPECT_EQ(Attribute(path_, p1, ORV_T("Used_Space")), std::to_string(7 * kGiB));

  // Type DD: not mountable and no used space although the table knows it.
  const Char* p2 = ORV_T("image/disk/partition[@Number='2']");
  EXPECT_EQ(Attribute(path_, p2, ORV_T("Type")), "DD");
  EXPECT_EQ(Attribute(path_, p2, ORV_T("Mountable")), "FALSE");
  EXPECT_EQ(Attribute(path_, p2, ORV_T("Used_Space")), "0");
  // Not captured: not written at all.
  EXPECT_EQ(Attribute(path_, ORV_T("image/disk/partition[@Number='3']"), ORV_T("Size")),
            "<no element>");
  // Logical partition without Windows, with an empty label.
  const Char* p5 = ORV_T("image/disk/partition[@Number='5']");
  EXPECT_EQ(Attribute(path_, p5, ORV_T("Primary")), "FALSE");
  EXPECT_EQ(Attribute(path_, p5, ORV_T("Windows_Type")), "-1");
  EXPECT_EQ(Attribute(path_, p5, ORV_T("Version")), "<absent>");
  EXPECT_EQ(Attribute(path_, p5, ORV_T("VolumeName")), "");
  EXPECT_EQ(Attribute(path_, p5, ORV_T("FileSystem")), "<absent>");
  // The recovery partition only as <recovery>.
  EXPECT_EQ(Attribute(path_, ORV_T("image/disk/partition[@Number='6']"), ORV_T("Size")),
            "<no element>");
  EXPECT_EQ(Attribute(path_, ORV_T("image/disk/recovery"), ORV_T("Starting_Offset")),
            std::to_string(90 * kGiB));
  EXPECT_EQ(Attribute(path_, ORV_T("image/disk/recovery"), ORV_T("VolumeName")), "RECOVERY");
}

TEST_F(LayoutFileTest, ReadsBackTheValuesWrittenWithFreeSpaceBetweenThem) {
  WriteDisk1();
  const COrvDisk disk = Load(path_, 1);
  EXPECT_EQ(disk.number, 1u);
  EXPECT_EQ(disk.size, 100 * kGiB);
  EXPECT_EQ(disk.trackSize, kTrack);
  EXPECT_EQ(disk.cylinderSize, kCylinder);
  std::vector<std::pair<DWORD, bool>> seen;  // number, unallocated
  for (const COrvPartition& record : Records(disk))
    seen.emplace_back(record.number, record.unallocated != 0);
  // Free: 20..30 GiB (1), 40..50 GiB where partition 3 was not captured (2), 70..90 GiB
  // (3), logical 55..70 GiB (4); the first partition starts at 32256, so no leading record.
  const std::vector<std::pair<DWORD, bool>> expected{{1, false}, {1, true},  {2, false},
                                                     {2, true},  {4, false}, {5, false},
                                                     {4, true},  {3, true},  {10, false}};
  EXPECT_EQ(seen, expected);
  const auto records = Records(disk);
  ASSERT_EQ(records.size(), expected.size());
  EXPECT_EQ(records[0].active, 1u);
  EXPECT_EQ(records[0].windowsType, 3);
  EXPECT_EQ(records[0].usedSpace, 7 * kGiB);
  EXPECT_EQ(records[0].GetFileSystem(), ORV_T("NTFS"));
  EXPECT_EQ(records[2].type, 0xDD);
  EXPECT_EQ(records[2].usedSpace, 0u);
  EXPECT_EQ(records[5].primary, 0u);
  EXPECT_EQ(records[5].active, 0u);
  EXPECT_EQ(records[6].primary, 0u);
  EXPECT_EQ(records[6].End(), 70 * kGiB);
  const COrvPartition& recovery = records[8];
  EXPECT_EQ(recovery.recovery, 1u);
  EXPECT_EQ(recovery.type, 0x07);
  EXPECT_EQ(recovery.GetVolumeName(), ORV_T("RECOVERY"));
  EXPECT_EQ(recovery.startingOffset, 90 * kGiB);
}

TEST_F(LayoutFileTest, AnExistingFileGetsASecondDiskElement) {
  WriteDisk1();
  WriteDisk1();  // the same disk again: the element is added, the file is not truncated
  XmlRef<IOrvXmlDocument> document(GetOrvXmlInterface(0));
  ASSERT_EQ(document->Load(path_), 0u);
  IOrvXmlElement* raw = nullptr;
  ASSERT_EQ(document->SelectNode(ORV_T("image/disk[2]"), raw), 0u);
  XmlRef<IOrvXmlElement>{raw};
  EXPECT_EQ(Records(Load(path_, -1)).size(), 9u);
  // A number no element carries: no partitions, still TRUE.
  EXPECT_EQ(Load(path_, 9).GetPartitionCount(), 0u);
  EXPECT_EQ(Load(disks_.Folder() / ORV_T("absent.xml"), -1).GetPartitionCount(), 0u);
}

TEST(LayoutLoader, MissingAttributesTakeTheirDefaults) {
  test::TempFolder folder;
  const WString path = folder / ORV_T("MRL.XML");
  test::WriteFile(path, Layout("<partition Starting_Offset=\"32256\" Size=\"1000000000\"/>"
                               "<recovery/>"));
  const auto records = Records(Load(path, -1));
  ASSERT_GE(records.size(), 2u);
  EXPECT_EQ(records[0].number, 10u);
  EXPECT_EQ(records[0].recovery, 1u) << "the recovery record starts at 1";
  EXPECT_EQ(records[0].size, 1u);
  EXPECT_EQ(records[1].primary, 1u);
  EXPECT_EQ(records[1].type, 0x00);
  EXPECT_EQ(records[1].active, 0u);
  EXPECT_EQ(records[1].windowsType, -1);
  EXPECT_EQ(records[1].GetFileSystem(), ORV_T("NTFS"));
  EXPECT_EQ(records[1].GetVolumeName(), ORV_T("NULL"));
}

TEST(LayoutLoader, AGapCountsAsFreeSpaceOnlyWhenLongerThanACylinder) {
  test::TempFolder folder;
  const WString path = folder / ORV_T("MRL.XML");
  const uint64_t second = kTrack + kGiB + kCylinder;     // gap of exactly one cylinder
  const uint64_t third = second + kGiB + kCylinder + 1;  // one byte more
  test::WriteFile(path,
                  Layout(Stored(1, kTrack, kGiB) + Stored(2, second, kGiB) + Stored(3, third, kGiB),
                         std::to_string(third + kGiB)));
  const auto records = Records(Load(path, 0));
  ASSERT_EQ(records.size(), 4u);
  EXPECT_TRUE(records[2].unallocated);
  EXPECT_EQ(records[2].startingOffset, second + kGiB);
  EXPECT_EQ(records[2].size, kCylinder + 1);
}

TEST(LayoutLoader, FreeStretchesOnBothSidesOfASmallPartitionStaySeparate) {
  test::TempFolder folder;
  const WString path = folder / ORV_T("MRL.XML");
  // Only neighbours in the list merge: a partition of 1 MiB keeps the gaps apart even
  // though they are less than a cylinder from each other.
  test::WriteFile(
      path, Layout(Stored(1, kTrack, kGiB) + Stored(2, 2 * kGiB, kMiB) + Stored(3, 3 * kGiB, kGiB),
                   std::to_string(4 * kGiB)));
  const auto records = Records(Load(path, 0));
  ASSERT_EQ(records.size(), 5u);
  EXPECT_TRUE(records[1].unallocated);
  EXPECT_EQ(records[1].End(), 2 * kGiB);
  EXPECT_EQ(records[2].number, 2u);
  EXPECT_TRUE(records[3].unallocated);
  EXPECT_EQ(records[3].startingOffset, 2 * kGiB + kMiB);
  EXPECT_EQ(records[3].End(), 3 * kGiB);
}

TEST(LayoutLoader, HostileRecordsNeverGiveWrappedFreeSpace) {
  test::TempFolder folder;
  const WString path = folder / ORV_T("MRL.XML");
  // Overlapping, zero-size, past-the-end and wrapping records; a logical partition
  // outside its extended partition.
  test::WriteFile(path, Layout(Stored(1, 10 * kGiB, 50 * kGiB) + Stored(2, 20 * kGiB, kGiB) +
                               Stored(3, 5 * kGiB, 0) + Stored(4, 200 * kGiB, kGiB) +
                               Stored(5, UINT64_MAX - 10, 100, "Type=\"0F\"") +
                               Stored(6, 0, kGiB, "Primary=\"FALSE\"")));
  for (const COrvPartition& record : Records(Load(path, 0))) {
    if (!record.unallocated) continue;
    EXPECT_LE(record.size, 100 * kGiB);
    EXPECT_LE(record.End(), 100 * kGiB);
  }
  test::WriteFile(path, Layout(Stored(1, kTrack, kGiB), "0"));
  EXPECT_EQ(Load(path, 0).size, 0u);
}

TEST(LayoutLoader, ALayoutOfTensOfThousandsOfPartitionsIsCutToATable) {
  test::TempFolder folder;
  const WString path = folder / ORV_T("MRL.XML");
  // 30,000 partitions, in descending order so that each would go to the front.
  std::string partitions;
  for (unsigned i = 30000; i > 0; --i) partitions += Stored(i, i * 2 * kMiB, kMiB);
  test::WriteFile(path, Layout(partitions + "<recovery Starting_Offset=\"1048576\" Size=\"1\"/>",
                               std::to_string(100 * kGiB)));
  const auto started = std::chrono::steady_clock::now();
  const COrvDisk disk = Load(path, 0);
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_LT(took, std::chrono::seconds(20));
  size_t stored = 0, recovery = 0;
  uint64_t previous = 0;
  for (const COrvPartition& record : Records(disk)) {
    EXPECT_GE(record.startingOffset, previous) << "kept in order of offset";
    previous = record.startingOffset;
    if (record.recovery) ++recovery;
    else if (!record.unallocated) ++stored;
  }
  EXPECT_EQ(stored, kMaxLayoutPartitions);
  EXPECT_EQ(recovery, 1u) << "the recovery element is read after the cut too";
}

}  // namespace
}  // namespace orv
