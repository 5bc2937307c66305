// The space of a drive whose folder stands for a partition of known size: the partition's
// size and the files below the folder, unless the folder is a mount of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>

#include "image/image.h"
#include "ntfs3g_volume.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/volume.h"
#include "services_disk/described_disks.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

constexpr uint64_t kFileBytes = 300000 + 5000;

std::string SizesVariable() {
  const char* sizes = std::getenv("VANTREL_DRIVE_SIZES");
  return sizes ? sizes : "";
}

class PartitionSpace : public ::testing::Test {
 protected:
  // P: stands for a folder holding kFileBytes in files, and links to a file and a folder
  // outside it that count for nothing.
  void SetUp() override {
    ASSERT_EQ(os::CreateDirectoryTree(volume_ + ORV_T("/sub/deep")), 0u);
    WriteFile(volume_ + ORV_T("/a.bin"), std::string(300000, 'a'));
    WriteFile(volume_ + ORV_T("/sub/deep/b.bin"), std::string(5000, 'b'));
    WriteFile(folder_ / ORV_T("outside.bin"), std::string(1 << 20, 'o'));
    ASSERT_EQ(symlink(NativeOf(folder_ / ORV_T("outside.bin")).c_str(),
                      NativeOf(volume_ + ORV_T("/file-link")).c_str()),
              0);
    ASSERT_EQ(symlink(NativeOf(folder_.Path()).c_str(), NativeOf(volume_ + ORV_T("/sub/up")).c_str()),
              0);
    ASSERT_EQ(os::SetDriveFolder('P', volume_), 0u);
  }
  void TearDown() override { os::SetDriveFolder('P', ORV_T("")); }

  static os::VolumeSpace SpaceOf(const WString& path) {
    os::VolumeSpace space;
    EXPECT_EQ(os::GetFreeSpace(path, space), 0u) << os::ToUtf8(path);
    return space;
  }
  // What the file system that holds the folder reports for it.
  uint64_t HostTotal() const {
    struct statvfs host {};
    EXPECT_EQ(statvfs(NativeOf(volume_).c_str(), &host), 0);
    return uint64_t{host.f_blocks} * host.f_frsize;
  }

  TempFolder folder_;
  WString volume_ = os::FromUtf8(NativeOf(folder_ / ORV_T("volume")));
};

TEST_F(PartitionSpace, ADriveWithASizeAnswersForItsPartition) {
  ASSERT_EQ(os::SetDriveSize('p', 64 * kMiB), 0u);
  EXPECT_EQ(SizesVariable(), "P=" + std::to_string(64 * kMiB));
  for (const WString& path : {WString(ORV_T("P:\\")), WString(ORV_T("P:\\sub\\deep")),
                              volume_ + ORV_T("/sub")}) {
    const os::VolumeSpace space = SpaceOf(path);
    EXPECT_EQ(space.total, 64 * kMiB) << os::ToUtf8(path);
    EXPECT_EQ(space.free, 64 * kMiB - kFileBytes) << os::ToUtf8(path);
    EXPECT_EQ(space.freeToCaller, space.free) << os::ToUtf8(path);
  }
}

TEST_F(PartitionSpace, FreeSpaceIsNeverBelowNothingNorMoreThanTheHostGrants) {
  ASSERT_EQ(os::SetDriveSize('P', 1000), 0u);
  os::VolumeSpace space = SpaceOf(ORV_T("P:\\"));
  EXPECT_EQ(space.total, 1000u);
  EXPECT_EQ(space.free, 0u);
  EXPECT_EQ(space.freeToCaller, 0u);

  const uint64_t huge = uint64_t{1} << 60;
  ASSERT_EQ(os::SetDriveSize('P', huge), 0u);
  space = SpaceOf(ORV_T("P:\\"));
  EXPECT_EQ(space.free, huge - kFileBytes);
  EXPECT_LE(space.freeToCaller, HostTotal());
}

TEST_F(PartitionSpace, ASizeGoesWithItsFolderAndComesFromOtherModules) {
  ASSERT_EQ(os::SetDriveSize('P', 64 * kMiB), 0u);
  ASSERT_EQ(os::SetDriveFolder('P', ORV_T("")), 0u);
  EXPECT_EQ(SizesVariable(), "");
  EXPECT_EQ(os::SetDriveSize('P', 64 * kMiB), err::kInvalidDrive);
  EXPECT_EQ(os::SetDriveSize('1', 64 * kMiB), err::kInvalidParameter);
  ASSERT_EQ(os::SetDriveFolder('P', volume_), 0u);
  EXPECT_EQ(SpaceOf(ORV_T("P:\\")).total, HostTotal());

  // Another folder for the letter: the old partition's size does not follow.
  ASSERT_EQ(os::SetDriveSize('P', 64 * kMiB), 0u);
  ASSERT_EQ(os::SetDriveFolder('P', volume_ + ORV_T("/sub")), 0u);
  EXPECT_EQ(SpaceOf(ORV_T("P:\\")).total, HostTotal());

  // A module with its own copy of the table records it in the environment.
  ASSERT_EQ(os::SetDriveFolder('P', volume_), 0u);
  setenv("VANTREL_DRIVE_SIZES", "P=2097152", 1);
  EXPECT_EQ(SpaceOf(ORV_T("P:\\")).total, 2 * kMiB);
  EXPECT_EQ(os::GetDriveFolder('P'), volume_);
}

TEST_F(PartitionSpace, ADescribedPartitionWithADriveAnswersForItsSize) {
  ASSERT_EQ(os::SetDriveFolder('P', ORV_T("")), 0u);
  DescribedDisks disks(DiskXml(
      0, 100 * kGiB,
      PartitionXml(1, kMiB, 64 * kMiB, "07", "Drive=\"P\" Folder=\"" + NativeOf(volume_) + "\"")));
  COrvDisk disk;
  ASSERT_TRUE(disk.Open(0));
  const os::VolumeSpace space = SpaceOf(ORV_T("P:\\"));
  EXPECT_EQ(space.total, 64 * kMiB);
  EXPECT_EQ(space.free, 64 * kMiB - kFileBytes);
}

// The amount a differential scan announces before it starts.
DWORD g_announced = 0;
BOOL ORV_CALLBACK RecordStart(ORVVALUE message, ORVVALUE first, ORVVALUE, ORVVALUE) {
  if (message == ORV_MSG_START) g_announced = static_cast<DWORD>(first);
  return message != ORV_MSG_DIFF_ENTRY;
}

TEST_F(PartitionSpace, ADifferentialScanCountsThePartitionsFiles) {
  ASSERT_EQ(os::SetDriveSize('P', 64 * kMiB), 0u);
  const WString target = folder_ / ORV_T("set");
  const WString reference = folder_ / ORV_T("no-reference");
  DIFFIMAGEDATA record{};
  record.wDriveLetter = 'P';
  record.m_dwINPVersion = 5;
  record.dwSplitSizeMB = 650;
  record.pstrReferenceDir = reference.c_str();
  record.pstrTargetDir = target.c_str();
  record.pCallBack = RecordStart;
  COrvImage image;
  g_announced = 0;
  ASSERT_TRUE(image.CreateDifferentialImage(&record)) << image.GetLastErrorCode();
  // Kilobytes, counted twice: once for the scan and once for the copy.
  EXPECT_EQ(g_announced, kFileBytes / 1024 * 2);
}

TEST(PartitionSpaceOfAMount, AFolderThatIsAMountKeepsItsFileSystemsNumbers) {
  TempFolder folder;
  Ntfs3gVolume volume;
  if (const std::string why = volume.Mount(NativeOf(folder.Path()), "volume"); !why.empty())
    GTEST_SKIP() << why;
  ASSERT_EQ(os::SetDriveFolder('P', volume.Path()), 0u);
  ASSERT_EQ(os::SetDriveSize('P', 64 * kGiB), 0u);
  os::VolumeSpace space;
  const DWORD error = os::GetFreeSpace(ORV_T("P:\\"), space);
  os::SetDriveFolder('P', ORV_T(""));
  ASSERT_EQ(error, 0u);
  EXPECT_LE(space.total, 16 * kMiB);
  EXPECT_LT(space.free, space.total);
}

}  // namespace
}  // namespace orv::test
