// The Win32 backends of the disk query and of the handle release. Wine answers some of
// these calls only in part; a case that Wine cannot serve says so and is skipped.
#include <gtest/gtest.h>

#include <vector>

#include "fsutil/delete_tree.h"
#include "fsutil/release_handles.h"
#include "platform/disk.h"
#include "platform/file.h"
#include "platform/handles.h"
#include "support/temp_folder.h"

namespace orv::os {
namespace {

TEST(Win32Disks, QueriesPhysicalDrives) {
  DiskInfo disk;
  const DWORD error = QueryDisk(0, disk);
  if (error != 0) GTEST_SKIP() << "physical drive 0 cannot be queried here (error " << error << ")";
  EXPECT_GT(disk.size, 0u);
  EXPECT_GT(disk.sectorSize, 0u);
}

TEST(Win32Handles, AHandleOfThisProcessIsFoundAndClosed) {
  test::TempFolder folder;
  const WString held = folder / ORV_T("held");
  ASSERT_EQ(CreateDirectory(held), 0u);
  // Deliberately never destroyed: its handle is closed behind its back.
  auto* file = new File;
  ASSERT_EQ(file->Open(held, kGenericRead, kShareRead | kShareWrite | kShareDelete,
                       Disposition::kOpenExisting, kBackupSemantics),
            0u);
  std::vector<HeldHandle> handles;
  const DWORD error = FindHandlesOnPath(held, handles);
  if (error != 0 || handles.empty())
    GTEST_SKIP() << "the handle table is not available here (error " << error << ", "
                 << handles.size() << " handles)";
  EXPECT_EQ(handles.size(), 1u);
  EXPECT_EQ(handles[0].value, reinterpret_cast<uintptr_t>(file->NativeHandle()));
  EXPECT_EQ(ReleaseHandlesOnPath(held), 1u);
  ASSERT_EQ(FindHandlesOnPath(held, handles), 0u);
  EXPECT_TRUE(handles.empty()) << "closed through a thread in this process";
  EXPECT_EQ(DeleteTree(held), 0u);
}

TEST(Win32Handles, DeleteTreeFreesAFolderThisProcessHolds) {
  test::TempFolder folder;
  const WString held = folder / ORV_T("held");
  ASSERT_EQ(CreateDirectory(held), 0u);
  test::WriteFile(held + ORV_T("\\inside.txt"), "x");
  auto* file = new File;  // never destroyed: its handle is closed behind its back
  ASSERT_EQ(file->Open(held, kGenericRead, kShareRead | kShareWrite | kShareDelete,
                       Disposition::kOpenExisting, kBackupSemantics),
            0u);
  std::vector<HeldHandle> handles;
  if (FindHandlesOnPath(held, handles) != 0 || handles.empty())
    GTEST_SKIP() << "the handle table is not available here";
  EXPECT_EQ(DeleteTree(held), 0u);
  DWORD attributes = 0;
  EXPECT_NE(GetAttributes(held, attributes), 0u) << "the pending folder went with its last handle";
}

}  // namespace
}  // namespace orv::os
