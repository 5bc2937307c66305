#include <gtest/gtest.h>

#include "platform/encoding.h"
#include "services/disk.h"
#include "services_disk/described_disks.h"

namespace orv {
namespace {

using test::kCylinder;
using test::kGiB;
using test::kMiB;
using test::kTrack;
using test::PartitionXml;
using test::Records;

TEST(DiskService, EnumeratesDeclaredPartitionsWithTheFreeStretchesBetweenThem) {
  // Gaps: exactly one cylinder after partition 1 (not free space), one cylinder and one
  // byte after partition 2 (free space), a logical gap inside the extended partition and
  // the tail of the disk.
  const uint64_t p1End = kTrack + 1 * kGiB;
  const uint64_t p2Start = p1End + kCylinder;
  const uint64_t p2End = p2Start + kGiB;
  const uint64_t extStart = p2End + kCylinder + 1;
  const uint64_t extSize = 4 * kGiB;
  const uint64_t logicalStart = extStart + kTrack;
  test::DescribedDisks disks(test::DiskXml(
      2, 20 * kGiB,
      PartitionXml(2, p2Start, kGiB) + PartitionXml(1, kTrack, kGiB, "07", "Active=\"TRUE\"") +
          PartitionXml(3, extStart, extSize, "0F") +
          PartitionXml(5, logicalStart, kGiB, "07", "Primary=\"FALSE\"")));
  COrvDisk disk;
  ASSERT_TRUE(disk.Open(2)) << disk.GetLastErrorCode();
  ASSERT_TRUE(disk.Enumerate());
  EXPECT_EQ(disk.GetName(), ORV_T("Test disk 2"));
  EXPECT_EQ(disk.size, 20 * kGiB);
  EXPECT_EQ(disk.cylinderSize, kCylinder);

  const auto records = Records(disk);
  ASSERT_EQ(records.size(), 7u);
  EXPECT_EQ(records[0].number, 1u);
  EXPECT_EQ(records[0].active, 1u);
  EXPECT_EQ(records[1].number, 2u);
  EXPECT_TRUE(records[2].unallocated && records[2].primary);
  EXPECT_EQ(records[2].startingOffset, p2End);
  EXPECT_EQ(records[2].size, kCylinder + 1);
  EXPECT_EQ(records[3].number, 3u);
  EXPECT_EQ(records[4].number, 5u);
  EXPECT_TRUE(records[5].unallocated);
  EXPECT_FALSE(records[5].primary);
  EXPECT_EQ(records[5].startingOffset, logicalStart + kGiB);
  EXPECT_EQ(records[5].End(), extStart + extSize);
  EXPECT_TRUE(records[6].unallocated && records[6].primary);
  EXPECT_EQ(records[6].End(), 20 * kGiB);
  for (const auto& record : records) {
    EXPECT_EQ(record.diskNumber, 2u);
    EXPECT_EQ(record.diskSize, 20 * kGiB);
  }

  EXPECT_EQ(disk.GetExtendedPartition().number, 3u);
  EXPECT_EQ(disk.GetRecoveryPartition().size, 0u);
}

TEST(DiskService, FindsPartitionsAndFreeSpaceByRelativePosition) {
  test::DescribedDisks disks(test::DiskXml(
      0, 100 * kGiB,
      PartitionXml(1, kTrack, 10 * kGiB) + PartitionXml(2, 40 * kGiB, 10 * kGiB, "0F") +
          PartitionXml(5, 40 * kGiB + kTrack, 5 * kGiB, "07", "Primary=\"FALSE\"") +
          PartitionXml(3, 60 * kGiB, 10 * kGiB, "27", "Recovery=\"TRUE\"")));
  COrvDisk disk;
  ASSERT_TRUE(disk.Open(0) && disk.Enumerate());
  EXPECT_EQ(disk.GetPartitionAroundRelativePosition(0.05, TRUE, FALSE).number, 1u);
  EXPECT_EQ(disk.GetPartitionAroundRelativePosition(0.0, TRUE, FALSE).number, 1u);
  // Between partitions: the next one of the same kind.
  EXPECT_EQ(disk.GetPartitionAroundRelativePosition(0.2, TRUE, FALSE).number, 2u);
  EXPECT_EQ(disk.GetPartitionAroundRelativePosition(0.55, TRUE, FALSE).number, 3u);
  EXPECT_EQ(disk.GetPartitionAroundRelativePosition(0.2, TRUE, TRUE).number, 2u);
  EXPECT_EQ(disk.GetPartitionAroundRelativePosition(0.2, FALSE, FALSE).number, 5u);
  EXPECT_EQ(disk.GetPartitionAroundRelativePosition(0.9, TRUE, FALSE).size, 0u);

  const COrvPartition at = disk.GetUnallocatedSpaceAtRelativePosition(0.2);
  EXPECT_TRUE(at.unallocated);
  EXPECT_EQ(at.startingOffset, kTrack + 10 * kGiB);
  EXPECT_EQ(disk.GetUnallocatedSpaceAtRelativePosition(0.05).size, 0u);
  const COrvPartition after = disk.GetUnallocatedSpaceAfterRelativePosition(0.55);
  EXPECT_EQ(after.startingOffset, 70 * kGiB);
  EXPECT_EQ(after.End(), 100 * kGiB);
  EXPECT_EQ(disk.GetUnallocatedSpaceAfterRelativePosition(1.5).size, 0u);

  EXPECT_EQ(disk.GetRecoveryPartition().number, 3u);
  disk.RemovePartitionInformationAtOffset(60 * kGiB);
  EXPECT_EQ(disk.GetRecoveryPartition().size, 0u);
}

TEST(DiskService, VolumesServeTheDeclaredFolders) {
  test::TempFolder volume;
  test::WriteFile(volume / ORV_T("data.bin"), std::string(4096, 'x'));
  const std::string folder = os::ToUtf8(volume.Path());
  test::DescribedDisks disks(
      test::DiskXml(0, 10 * kGiB,
                    PartitionXml(1, kMiB, kGiB, "07",
                                 "Folder=\"" + folder +
                                     "\" FileSystem=\"NTFS\" Label=\"SYSTEM\" OemId=\"NTFS\" "
                                     "WindowsVersion=\"6.1\" WindowsType=\"3\"") +
                        PartitionXml(2, 2 * kGiB, kGiB, "07", "UsedSpace=\"1234\"")));
  COrvDisk disk;
  ASSERT_TRUE(disk.Open(0) && disk.Enumerate());
  const COrvPartition system = disk.GetPartitionAt(0);
  const COrvVolume& facts = system.GetVolume();
  EXPECT_TRUE(facts.m_bMountable);
  EXPECT_TRUE(facts.IsFormated());
  EXPECT_TRUE(facts.IsWindows());
  EXPECT_EQ(facts.GetVersionType(), 3);
  EXPECT_EQ(facts.GetOEMID(), ORV_T("NTFS"));
  EXPECT_EQ(system.GetVolumeName(), ORV_T("SYSTEM"));
  EXPECT_EQ(facts.GetVolumeMountPoint(), volume.Path() + ORV_T("\\"));
  EXPECT_EQ(system.usedSpace, 4096u) << "what the folder's files take";

  const COrvPartition bare = disk.GetPartitionAt(2);  // after the free stretch
  EXPECT_FALSE(bare.GetVolume().m_bMountable);
  EXPECT_FALSE(bare.GetVolume().IsFormated());
  EXPECT_EQ(bare.GetVolume().GetVersionType(), -1);
  EXPECT_EQ(bare.usedSpace, 1234u);
}

TEST(DiskService, RejectsMissingDisksAndPartitionsOutsideTheDisk) {
  test::DescribedDisks disks(test::DiskXml(0, 10 * kGiB, PartitionXml(1, 9 * kGiB, 2 * kGiB)) +
                             test::DiskXml(1, 10 * kGiB, PartitionXml(1, kTrack, kGiB, "XYZ")) +
                             test::DiskXml(2, 10 * kGiB, PartitionXml(1, UINT64_MAX - 5, 10)));
  COrvDisk disk;
  EXPECT_FALSE(disk.Open(7));
  EXPECT_EQ(disk.GetLastErrorCode(), 2u);
  for (DWORD number : {0u, 1u, 2u}) {
    EXPECT_FALSE(disk.Open(number));
    EXPECT_EQ(disk.GetLastErrorCode(), 13u);
  }
  EXPECT_FALSE(disk.Enumerate());
  EXPECT_EQ(disk.GetLastErrorCode(), 6u);
}

}  // namespace
}  // namespace orv
