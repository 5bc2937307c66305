#include <gtest/gtest.h>

#include <algorithm>

#include "platform/file.h"
#include "platform/process.h"
#include "services/encrypted_files.h"
#include "services/file_monitor.h"
#include "services/ntfs.h"
#include "services/shadow_copy.h"
#include "services/virtual_disk.h"
#include "support/temp_folder.h"

namespace orv {
namespace {

// A folder that is no mounted NTFS volume (Linux) or no drive root (Windows) is refused
// with a code, and the closed object refuses every query.
TEST(NtfsVolume, RefusesWhatIsNoVolumeAndAnswersNothingClosed) {
  test::TempFolder volume;
  test::WriteFile(volume / ORV_T("top.txt"), "top");
  COrvNtfs ntfs;
  EXPECT_FALSE(ntfs.OpenVolume(volume.Path() + ORV_T("\\")));
  EXPECT_EQ(ntfs.GetLastErrorCode(), 3u);
  EXPECT_FALSE(ntfs.OpenVolume(volume / ORV_T("top.txt")));
  EXPECT_EQ(ntfs.GetLastErrorCode(), 3u);
  EXPECT_FALSE(ntfs.OpenVolume(volume / ORV_T("absent")));
  EXPECT_NE(ntfs.GetLastErrorCode(), 0u);

  EXPECT_EQ(ntfs.GetTotalEntries(), 0u);
  NtfsEntry entry;
  EXPECT_FALSE(ntfs.FindFirstEntry(entry));
  EXPECT_EQ(ntfs.GetLastErrorCode(), 6u);
  EXPECT_EQ(ntfs.GetFileReferenceNumber(ORV_T("top.txt")), 0u);
  EXPECT_FALSE(ntfs.CopyFileMFT(1, volume / ORV_T("copy")));
  EXPECT_EQ(ntfs.GetLastErrorCode(), 6u);
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
#if defined(_WIN32)
  std::unique_ptr<IOrvFilesMonitoring> monitor;
  EXPECT_EQ(CreateFilesMonitoring(monitor), kComponentNotRegistered);
#endif
}

// A copy of the virtual-disk library planted in the current directory is never loaded:
// it would run with the capture's backup rights. Only the library's own folder counts.
TEST(Components, VirtualDiskLibraryIsNeverTakenFromTheCurrentDirectory) {
  test::TempFolder folder;
  test::WriteFile(folder / os::SharedLibraryFileName(ORV_T("lamina")), "planted");
  WString saved;
  ASSERT_EQ(os::GetCurrentDirectory(saved), 0u);
  ASSERT_EQ(os::SetCurrentDirectory(folder.Path()), 0u);
  VirtualDiskLibrary lamina;
  const DWORD loaded = lamina.Load();
  os::SetCurrentDirectory(saved);
  // The planted file is no library: only the one beside ours loads, with its exports.
  EXPECT_EQ(loaded, 0u);
  EXPECT_TRUE(lamina.HasClone());
  EXPECT_TRUE(lamina.HasCloneWithSplitSize());

  WString own;
  ASSERT_EQ(os::GetLibraryFolder(own), 0u);
  DWORD attributes = 0;
  ASSERT_EQ(os::GetAttributes(own, attributes), 0u);
  EXPECT_TRUE(attributes & os::kAttrDirectory);
}

}  // namespace
}  // namespace orv
