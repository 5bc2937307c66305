// The master-file-table reader on a drive root. Where the system gives no raw NTFS volume
// (Wine maps drives to folders), opening it fails with a Windows code and nothing else
// happens; on Windows run with backup rights the table of C: is read.
#include <gtest/gtest.h>

#include "services/ntfs.h"

namespace orv {
namespace {

TEST(NtfsDriveRoot, OpensTheVolumeOrFailsWithAWindowsCode) {
  COrvNtfs ntfs;
  if (!ntfs.OpenVolume(ORV_T("C:\\"))) {
    const DWORD code = ntfs.GetLastErrorCode();
    EXPECT_NE(code, 0u);
    NtfsEntry entry;
    EXPECT_FALSE(ntfs.FindFirstEntry(entry));
    GTEST_SKIP() << "no raw NTFS volume at C: here (code " << code << ")";
  }
  EXPECT_GT(ntfs.GetTotalEntries(), 16u);
  NtfsEntry entry;
  ASSERT_TRUE(ntfs.FindFirstEntry(entry));
  EXPECT_EQ(entry.path, ORV_T("$MFT"));
  EXPECT_EQ(ntfs.GetFileReferenceNumber(ORV_T("Windows")) & 0xFFFFFFFFFFFFull,
            ntfs.GetFileReferenceNumber(ORV_T("C:\\Windows")) & 0xFFFFFFFFFFFFull);
}

}  // namespace
}  // namespace orv
