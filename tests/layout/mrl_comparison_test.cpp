#include "layout/mrl_comparison.h"

#include <gtest/gtest.h>

#include "layout/layout_xml.h"
#include "layout/reajust.h"
#include "platform/encoding.h"
#include "services/log.h"
#include "services_disk/described_disks.h"

namespace orv {
namespace {

using test::kGiB;
using test::kMiB;
using test::kTrack;
using test::Layout;
using test::PartitionXml;
using test::Stored;

struct Result {
  DWORD number;
  DWORD status;
  uint64_t start;
  uint64_t size;
};

class ComparisonTest : public ::testing::Test {
 protected:
  void TearDown() override {
    log_.SetLevelMask(savedMask_);
    log_.Redirect(ORV_T(""));
  }

  // Runs a comparison of disk 0 of `disks` with the layout text.
  std::vector<Result> Compare(const std::string& disks, const std::string& layout,
                              int number = -1) {
    test::DescribedDisks described(disks);
    test::WriteFile(layoutPath_, layout);
    EXPECT_TRUE(comparison_.OpenComparison(0, layoutPath_.c_str(), number));
    EXPECT_EQ(comparison_.GetLastErrorCode(), 0u);
    std::vector<Result> results;
    LAYOUTPARTITIONDATA data{};
    for (BOOL more = comparison_.GetFirstPartition(&data); more;
         more = comparison_.GetNextPartition(&data)) {
      results.push_back({data.dwNumber, data.dwStatus, data.ullStartingOffset, data.ullSize});
      records_.push_back(data);
    }
    EXPECT_EQ(comparison_.GetLastErrorCode(), 259u);
    comparison_.Close();
    return results;
  }

  void CaptureLog() {
    savedMask_ = log_.LevelMask();
    ASSERT_EQ(log_.Redirect(logPath_), 0u);
    log_.SetLevelMask(COrvLog::kAllLevels);
  }

  test::TempFolder folder_;
  WString layoutPath_ = folder_ / ORV_T("MRL.XML");
  WString logPath_ = folder_ / ORV_T("test.log");
  COrvMrlComparison comparison_;
  std::vector<LAYOUTPARTITIONDATA> records_;
  COrvLog& log_ = COrvLog::GetInstance();
  DWORD savedMask_ = 0;
};

TEST_F(ComparisonTest, MatchesPartitionsOfTheSameLayout) {
  test::TempFolder volume;
  const std::string disk =
      test::DiskXml(0, 100 * kGiB,
                    PartitionXml(1, kMiB, 40 * kGiB, "07",
                                 "FileSystem=\"NTFS\" Label=\"SYSTEM\" WindowsVersion=\"6.1\" "
                                 "WindowsType=\"3\" Folder=\"" +
                                     os::ToUtf8(volume.Path()) + "\"") +
                        PartitionXml(2, 50 * kGiB, 40 * kGiB));
  const auto results =
      Compare(disk, Layout(Stored(1, kMiB, 40 * kGiB, "Used_Space=\"10737418240\"") +
                           Stored(2, 50 * kGiB, 40 * kGiB)));
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].number, 1u);
  EXPECT_EQ(results[0].status, 1u);
  EXPECT_EQ(results[0].start, kMiB) << "the disk's partition, not the stored one";
  EXPECT_EQ(results[1].status, 2u) << "a partition without a file system is not formatted";
  EXPECT_EQ(records_[0].ullUsedSpace, 10 * kGiB);
  EXPECT_EQ(WString(records_[0].szVolumeName), ORV_T("SYSTEM"));
  EXPECT_EQ(WString(records_[0].szMountPoint), volume.Path() + ORV_T("\\"));
  EXPECT_EQ(records_[0].lWindowsType, 3);
  EXPECT_EQ(records_[0].ullDiskSize, 100 * kGiB);
}

TEST_F(ComparisonTest, UsedSpacePlusSixteenMebibytesMustBeExceeded) {
  for (const uint64_t extra : {uint64_t{0}, uint64_t{1}}) {
    const uint64_t first = 10 * kGiB + 16 * kMiB + extra;
    const std::string disk =
        test::DiskXml(0, 100 * kGiB,
                      PartitionXml(1, kTrack, first, "07", "FileSystem=\"NTFS\"") +
                          PartitionXml(2, kTrack + first, 100 * kGiB - kTrack - first));
    const auto results =
        Compare(disk, Layout(Stored(1, kTrack, 50 * kGiB, "Used_Space=\"10737418240\"")));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].status, extra ? 1u : 8u) << "partition larger by " << extra;
  }
}

TEST_F(ComparisonTest, TheFirstStoredPartitionTakesTheDiskPartitionTheSecondGoesToFreeSpace) {
  const std::string disk =
      test::DiskXml(0, 100 * kGiB, PartitionXml(1, kTrack, 50 * kGiB, "07", "FileSystem=\"NTFS\""));
  const auto results =
      Compare(disk, Layout(Stored(1, kTrack, 10 * kGiB, "Used_Space=\"1073741824\"") +
                           Stored(2, 10 * kGiB, 10 * kGiB, "Used_Space=\"1073741824\"") +
                           Stored(3, 20 * kGiB, 80 * kGiB, "Used_Space=\"85899345920\"")));
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0].number, 1u);
  EXPECT_EQ(results[0].status, 1u);
  EXPECT_EQ(results[1].number, 2u);
  EXPECT_EQ(results[1].status, 4u);
  // The free space was reserved by partition 2 and is too small for 80 GiB anyway.
  EXPECT_EQ(results[2].number, 3u);
  EXPECT_EQ(results[2].status, 8u);
}

TEST_F(ComparisonTest, RecoveryPartitionMovesToTheEndOfADiskTwiceTheSize) {
  CaptureLog();
  const std::string disk = test::DiskXml(0, 200 * kGiB, "");
  const auto results =
      Compare(disk, Layout(Stored(1, kTrack, 90 * kGiB - kTrack, "Used_Space=\"5368709120\"") +
                           test::StoredRecovery(90 * kGiB, 10 * kGiB)));
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].number, 1u);
  EXPECT_EQ(results[0].start, kTrack);
  EXPECT_EQ(results[0].size, 190 * kGiB - kTrack)
      << "scaled, then chained up to the recovery partition";
  EXPECT_EQ(results[0].status, 4u);
  EXPECT_EQ(results[1].number, 10u);
  EXPECT_EQ(results[1].start, 190 * kGiB);
  EXPECT_EQ(results[1].size, 10 * kGiB);
  EXPECT_EQ(results[1].status, 4u);
  EXPECT_EQ(records_[1].dwRecovery, 1u);
  const std::string text = test::ReadFile(logPath_);
  EXPECT_NE(text.find("ReajustRP: RP Does not exist on disk."), std::string::npos);
  EXPECT_NE(text.find("ReajustRP: New RP: 204010946560,10737418240"), std::string::npos);
  EXPECT_NE(
      text.find(
          "Load: RP: Partition 10 - Start: 96636764160 - Size: 10737418240 - Type: 07 - Active: 0"),
      std::string::npos);
  EXPECT_NE(text.find("OpenComparison: Partition 10 (0) - Start: 204010946560 - Size: 10737418240 "
                      "- Type: 07 - Status: 4"),
            std::string::npos);
}

TEST_F(ComparisonTest, RecoveryPartitionAtOneMebibyteOrBelowKeepsItsPlace) {
  const auto results = Compare(
      test::DiskXml(0, 200 * kGiB, ""),
      Layout(test::StoredRecovery(kMiB, 10 * kGiB) + Stored(1, 10 * kGiB + kMiB, 80 * kGiB)));
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].number, 10u);
  EXPECT_EQ(results[0].start, kMiB);
  EXPECT_EQ(results[0].size, 10 * kGiB);
}

TEST_F(ComparisonTest, RecoveryPartitionOfTheDiskTakesTheStoredOne) {
  CaptureLog();
  const std::string disk = test::DiskXml(
      0, 100 * kGiB,
      PartitionXml(1, kTrack, 80 * kGiB, "07", "FileSystem=\"NTFS\"") +
          PartitionXml(2, 85 * kGiB, 15 * kGiB, "27", "FileSystem=\"NTFS\" Recovery=\"TRUE\""));
  const auto results = Compare(
      disk, Layout(Stored(1, kTrack, 90 * kGiB) + test::StoredRecovery(90 * kGiB, 10 * kGiB)));
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[1].number, 10u);
  EXPECT_EQ(results[1].start, 85 * kGiB);
  EXPECT_EQ(results[1].status, 1u);
  EXPECT_EQ(results[0].status, 1u);
  EXPECT_NE(test::ReadFile(logPath_).find("ReajustRP: RP exist on disk."), std::string::npos);
}

TEST_F(ComparisonTest, ExtendedPartitionsMatchOnlyExtendedOnes) {
  const std::string disk =
      test::DiskXml(0, 100 * kGiB,
                    PartitionXml(1, kTrack, 40 * kGiB - kTrack, "07", "FileSystem=\"NTFS\"") +
                        PartitionXml(2, 40 * kGiB, 60 * kGiB, "0F") +
                        PartitionXml(5, 40 * kGiB + kTrack, 20 * kGiB, "07",
                                     "Primary=\"FALSE\" FileSystem=\"NTFS\""));
  auto results = Compare(
      disk, Layout(Stored(1, kTrack, 40 * kGiB) + Stored(2, 40 * kGiB, 60 * kGiB, "Type=\"0F\"")));
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[1].number, 2u);
  EXPECT_EQ(results[1].status, 1u) << "extended on both sides, whatever the formatting";
  EXPECT_EQ(WString(records_[1].szMountPoint), ORV_T(""));

  records_.clear();
  results = Compare(
      disk, Layout(Stored(1, kTrack, 40 * kGiB) + Stored(2, 40 * kGiB, 60 * kGiB, "Type=\"07\"")));
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[1].status, 8u) << "a data partition where the disk has its extended partition";
}

TEST_F(ComparisonTest, EnumerationEndsWith259AndBadRecordsWith87) {
  const std::string disk = test::DiskXml(0, 100 * kGiB, PartitionXml(1, kTrack, 50 * kGiB));
  test::DescribedDisks described(disk);
  test::WriteFile(layoutPath_, Layout(Stored(1, kTrack, 50 * kGiB)));
  LAYOUTPARTITIONDATA data{};
  EXPECT_FALSE(comparison_.GetFirstPartition(&data));
  EXPECT_EQ(comparison_.GetLastErrorCode(), 259u) << "nothing compared yet";
  ASSERT_TRUE(comparison_.OpenComparison(0, layoutPath_.c_str(), 0));
  EXPECT_FALSE(comparison_.GetFirstPartition(nullptr));
  EXPECT_EQ(comparison_.GetLastErrorCode(), 87u);
  EXPECT_TRUE(comparison_.GetFirstPartition(&data));
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(comparison_.GetNextPartition(&data));
    EXPECT_EQ(comparison_.GetLastErrorCode(), 259u);
  }
  EXPECT_TRUE(comparison_.GetFirstPartition(&data));
  comparison_.Close();
  EXPECT_FALSE(comparison_.GetFirstPartition(&data));

  EXPECT_FALSE(comparison_.OpenComparison(4, layoutPath_.c_str(), 0));
  EXPECT_EQ(comparison_.GetLastErrorCode(), 2u);
  ASSERT_TRUE(comparison_.OpenComparison(0, (folder_ / ORV_T("absent.xml")).c_str(), -1));
  EXPECT_FALSE(comparison_.GetFirstPartition(&data));
}

// Offsets near 2^64 scale without wrapping (a cut product by 100 would give a start of
// 11805916207174113280 for an offset of 2^63 on a disk of the same size) and saturate.
TEST(ScaleToDisk, NeverWrapsAndSaturates) {
  EXPECT_EQ(ScaleToDisk(10 * kGiB, 100 * kGiB, 200 * kGiB), 20 * kGiB);
  EXPECT_EQ(ScaleToDisk(uint64_t{1} << 63, uint64_t{1} << 63, uint64_t{1} << 63), uint64_t{1} << 63);
  EXPECT_EQ(ScaleToDisk(UINT64_MAX - 10, kGiB, 100 * kGiB), UINT64_MAX);
  EXPECT_EQ(ScaleToDisk(5, 0, kGiB), 5u);
}

TEST_F(ComparisonTest, HostileLayoutsEndAndNeverWrap) {
  const std::string disk = test::DiskXml(0, 100 * kGiB, PartitionXml(1, kTrack, 50 * kGiB));
  const std::string hostile =
      Stored(1, 10 * kGiB, 50 * kGiB) + Stored(2, 20 * kGiB, kGiB) + Stored(3, 5 * kGiB, 0) +
      Stored(4, UINT64_MAX - 10, 100, "Type=\"0F\"") +
      Stored(5, 0, kGiB, "Primary=\"FALSE\" Used_Space=\"18446744073709551615\"") +
      test::StoredRecovery(UINT64_MAX - 1, UINT64_MAX);
  // Whatever the disk size the comparison ends, with at most one result per stored
  // partition (records that the chaining leaves without size drop out).
  for (const char* size : {"0", "1", "107374182400", "18446744073709551615"}) {
    const auto results = Compare(disk, Layout(hostile, size));
    EXPECT_LE(results.size(), 6u) << size;
  }
}

}  // namespace
}  // namespace orv
