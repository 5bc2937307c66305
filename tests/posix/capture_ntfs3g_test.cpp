// Capture of a real NTFS volume (ntfs-3g on an image file): a file that another handle
// holds without sharing is deferred by the walk and taken in the second pass, straight
// from the volume's master file table, so the image holds it whole and only once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "archive/archive_support.h"
#include "image/image.h"
#include "ntfs3g_volume.h"
#include "platform/file.h"
#include "services/log.h"
#include "services_disk/described_disks.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

TEST(CaptureOfNtfs3g, ALockedFileIsTakenFromTheMasterFileTable) {
  TempFolder folder;
  Ntfs3gVolume volume;
  const std::string why = volume.Mount(NativeOf(folder.Path()), "c");
  if (!why.empty()) GTEST_SKIP() << why;
  const WString root = volume.Path();
  const std::string content = NoiseBytes(200000, 5);
  WriteFile(root + ORV_T("/locked.bin"), content);
  WriteFile(root + ORV_T("/free.txt"), "free");
  sync();  // the table reader reads the device, not the driver's cache

  // Held for reading without sharing: every other open fails with a sharing violation.
  os::File holder;
  ASSERT_EQ(holder.Open(root + ORV_T("/locked.bin"), os::kGenericRead, 0, os::Disposition::kOpenExisting),
            0u);
  DescribedDisks disks(DiskXml(
      0, 100 * kGiB,
      PartitionXml(1, kMiB, 10 * kGiB, "07", "FileSystem=\"NTFS\" Folder=\"" + volume.Root() + "\"")));
  const WString target = folder / ORV_T("images");
  // The log tells which way the file came in.
  COrvLog& log = COrvLog::GetInstance();
  const DWORD savedMask = log.LevelMask();
  log.SetLevelMask(COrvLog::kAllLevels);
  if (!log.IsInitialized()) log.Init(1);
  ASSERT_EQ(log.Redirect(folder / ORV_T("capture.log")), 0u);
  COrvImage image;
  IMAGEDATA record{};
  record.dwImageType = 5;
  record.pstrTargetDir = target.c_str();
  const BOOL captured = image.CreateImage(&record);
  log.Redirect(ORV_T(""));
  log.SetLevelMask(savedMask);
  holder.Close();
  ASSERT_TRUE(captured) << image.GetLastErrorCode();
  const std::string lines = ReadFile(folder / ORV_T("capture.log"));
  EXPECT_NE(lines.find("locked.bin is in sharing violation"), std::string::npos);
  EXPECT_NE(lines.find("locked.bin (from MFT) added to"), std::string::npos);

  COrvMorlet archive;
  ASSERT_TRUE(archive.Open((target + ORV_T("/PRELOAD/DISK0/PART1/BASE.INP")).c_str(), 1, 5));
  std::vector<WString> names = EntryNames(archive);
  EXPECT_EQ(std::count(names.begin(), names.end(), WString(ORV_T("locked.bin"))), 1);
  const WString out = folder / ORV_T("out");
  ASSERT_EQ(os::CreateDirectory(out), 0u);
  ASSERT_TRUE(archive.ExtractFile(ORV_T("locked.bin"), out.c_str()));
  EXPECT_EQ(ReadFile(out + ORV_T("/locked.bin")), content);
}

}  // namespace
}  // namespace orv::test
