// A captured volume that holds links planted to reach outside it: the capture stores
// the links as links, never reads or writes what they point at.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "archive/archive_support.h"
#include "image/image.h"
#include "platform/encoding.h"
#include "services_disk/described_disks.h"
#include "native_path.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

TEST(CaptureOfLinks, LinksAreStoredAsLinksAndNeverWrittenThrough) {
  TempFolder folder;
  const WString volume = folder / ORV_T("c");
  const WString outside = folder / ORV_T("outside");
  const WString target = folder / ORV_T("images");
  ASSERT_EQ(os::CreateDirectory(volume), 0u);
  ASSERT_EQ(os::CreateDirectory(outside), 0u);
  WriteFile(outside + ORV_T("/secret.txt"), "not part of the volume");
  WriteFile(outside + ORV_T("/victim.txt"), "must stay as it is");
  WriteFile(volume + ORV_T("/a.txt"), "a");
  // A folder link leading out of the volume, and a link where the capture writes its
  // password file.
  ASSERT_EQ(symlink(Native(outside).c_str(), Native(volume + ORV_T("/out")).c_str()), 0);
  ASSERT_EQ(symlink(Native(outside + ORV_T("/victim.txt")).c_str(),
                    Native(volume + ORV_T("/QUEN.DAV")).c_str()),
            0);
  DescribedDisks disks(DiskXml(
      0, 100 * kGiB,
      PartitionXml(1, kMiB, 10 * kGiB, "07", "FileSystem=\"NTFS\" Folder=\"" + Native(volume) + "\"")));

  COrvImage image;
  IMAGEDATA record{};
  record.dwImageType = 5;
  record.pstrTargetDir = target.c_str();
  record.pstrPassword = ORV_T("secret");
  ASSERT_TRUE(image.CreateImage(&record)) << image.GetLastErrorCode();

  EXPECT_EQ(ReadFile(outside + ORV_T("/victim.txt")), "must stay as it is");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open((target + ORV_T("/PRELOAD/DISK0/PART1/BASE.INP")).c_str(), 1, 5));
  std::vector<WString> names = EntryNames(archive);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<WString>{ORV_T("QUEN.DAV"), ORV_T("a.txt"), ORV_T("out")}));
  ASSERT_TRUE(archive.FindEntry(ORV_T("out")));
  EXPECT_TRUE(archive.GetEntryAttributes().dwFileAttributes & os::kAttrReparsePoint);
  ASSERT_TRUE(archive.FindEntry(ORV_T("QUEN.DAV")));
  EXPECT_EQ(archive.GetEntrySize(), 32u);  // the password record, not the victim's bytes
}

}  // namespace
}  // namespace orv::test
