#include <gtest/gtest.h>

#include <algorithm>

#include "services/encrypted_files.h"
#include "services/file_monitor.h"
#include "services/ntfs.h"
#include "services/shadow_copy.h"
#include "services/virtual_disk.h"
#include "support/temp_folder.h"

namespace orv {
namespace {

TEST(VolumeWalk, ListsEntriesAndCopiesAFileByItsReference) {
  test::TempFolder volume;
  test::WriteFile(volume / ORV_T("top.txt"), "top");
  ASSERT_EQ(os::CreateDirectoryTree(volume / ORV_T("Windows\\System32")), 0u);
  test::WriteFile(volume / ORV_T("Windows\\System32\\locked.dat"),
                  std::string(3 * 1024 * 1024 + 5, 'L'));
  COrvNtfs ntfs;
  ASSERT_TRUE(ntfs.OpenVolume(volume.Path() + ORV_T("\\")));
  EXPECT_EQ(ntfs.GetTotalEntries(), 4u);
  std::vector<WString> paths;
  NtfsEntry entry;
  for (BOOL more = ntfs.FindFirstEntry(entry); more; more = ntfs.FindNextEntry(entry))
    paths.push_back(entry.path);
  EXPECT_EQ(paths.size(), 4u);
  EXPECT_NE(std::find(paths.begin(), paths.end(), WString(ORV_T("Windows\\System32\\locked.dat"))),
            paths.end());
  EXPECT_EQ(ntfs.GetLastErrorCode(), 18u);

  const uint64_t reference = ntfs.GetFileReferenceNumber(ORV_T("\\Windows\\System32\\locked.dat"));
  ASSERT_NE(reference, 0u);
  const WString copy = volume / ORV_T("copy.dat");
  ASSERT_TRUE(ntfs.CopyFileMFT(reference, copy));
  EXPECT_EQ(test::ReadFile(copy), std::string(3 * 1024 * 1024 + 5, 'L'));
  EXPECT_FALSE(ntfs.CopyFileMFT(reference + 1000000, copy));
  EXPECT_EQ(ntfs.GetLastErrorCode(), 2u);
  EXPECT_EQ(ntfs.GetFileReferenceNumber(ORV_T("absent")), 0u);
  EXPECT_FALSE(ntfs.OpenVolume(volume / ORV_T("top.txt")));
}

TEST(MissingComponents, AnswerNotAvailableWithTheirCodes) {
  std::unique_ptr<IOrvShadowCopy> component;
  EXPECT_EQ(CreateShadowCopyComponent(component), kComponentNotRegistered);
  EXPECT_FALSE(component);
  auto snapshots = GetVSSInstance();
  WString device = ORV_T("x");
  EXPECT_EQ(snapshots->Start(ORV_T("C:\\"), device), 50u);
  EXPECT_TRUE(device.empty());
  EXPECT_EQ(PutRawContentToFile(ORV_T("a"), ORV_T("b")), kComponentNotRegistered);
  std::unique_ptr<IOrvFilesMonitoring> monitor;
  EXPECT_EQ(CreateFilesMonitoring(monitor), kComponentNotRegistered);
  VirtualDiskLibrary lamina;
  EXPECT_EQ(lamina.Load(), 126u);
  EXPECT_FALSE(lamina.HasClone());
  EXPECT_EQ(lamina.CloneDriveUsedSectors("C:", "x", 5, nullptr, nullptr), -1);
}

}  // namespace
}  // namespace orv
