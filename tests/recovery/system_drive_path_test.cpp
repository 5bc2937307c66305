// Which change paths a recovery point takes, and which folders it refuses to empty.
#include "recovery/system_drive_path.h"

#include <gtest/gtest.h>

#include "platform/encoding.h"
#include "platform/file.h"
#include "recovery/folder_overlap.h"
#include "support/temp_folder.h"

namespace orv {
namespace {

TEST(SystemDrivePath, TakesPathsBelowTheDriveRootOnly) {
  EXPECT_EQ(PathOnSystemDrive(ORV_T("C:\\dir\\file.txt"), ORV_T("C:")),
            WString(ORV_T("\\dir\\file.txt")));
  EXPECT_EQ(PathOnSystemDrive(ORV_T("c:\\Dir/sub"), ORV_T("C:")), WString(ORV_T("\\Dir\\sub")));
  for (const Char* refused :
       {ORV_T("C:\\..\\..\\etc\\passwd"), ORV_T("C:\\dir\\..\\..\\x"), ORV_T("D:\\x"),
        ORV_T("\\\\server\\share\\x"), ORV_T("\\\\?\\C:\\x"), ORV_T("C:relative"), ORV_T("C:\\"),
        ORV_T("C:"), ORV_T(""), ORV_T("C:\\file.txt:stream"), ORV_T("C:\\dir\\.\\x"),
        ORV_T("/etc/passwd")})
    EXPECT_FALSE(PathOnSystemDrive(refused, ORV_T("C:")).has_value()) << os::ToUtf8(refused);
}

TEST(FolderOverlap, AFolderHoldsItselfAndWhatLiesBelow) {
  test::TempFolder folder;
  const WString points = folder / ORV_T("points");
  ASSERT_EQ(os::CreateDirectoryTree(points + ORV_T("\\1")), 0u);
  EXPECT_TRUE(FolderHolds(points + ORV_T("\\1"), points + ORV_T("\\1")));
  EXPECT_TRUE(FolderHolds(points, points + ORV_T("\\1\\")));
  EXPECT_TRUE(FolderHolds(points + ORV_T("\\1\\."), points + ORV_T("\\1")));
  EXPECT_TRUE(FolderHolds(folder.Path(), points + ORV_T("\\1\\changes.db")));
  EXPECT_FALSE(FolderHolds(points + ORV_T("\\2"), points + ORV_T("\\1")));
  EXPECT_FALSE(FolderHolds(points + ORV_T("\\1"), points));
  // Folders that are not there are compared by their text.
  EXPECT_TRUE(FolderHolds(ORV_T("x"), ORV_T("X")));
  EXPECT_FALSE(FolderHolds(ORV_T("x"), ORV_T("y")));
}

}  // namespace
}  // namespace orv
