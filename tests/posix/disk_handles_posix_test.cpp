// The Linux backends of the disk query and of the handle search.
#include <gtest/gtest.h>
#include <unistd.h>

#include "fsutil/release_handles.h"
#include "platform/disk.h"
#include "platform/file.h"
#include "platform/handles.h"
#include "support/temp_folder.h"

namespace orv::os {
namespace {

TEST(PosixDisks, NumbersPastTheLastDiskAreMissing) {
  DiskInfo disk;
  EXPECT_EQ(QueryDisk(1000, disk), 2u);
  if (QueryDisk(0, disk) != 0) GTEST_SKIP() << "this machine shows no disk";
  EXPECT_GT(disk.size, 0u);
  EXPECT_FALSE(disk.name.empty());
  EXPECT_EQ(disk.cylinderSize, 255 * disk.trackSize);
  for (size_t i = 1; i < disk.partitions.size(); ++i)
    EXPECT_LE(disk.partitions[i - 1].offset, disk.partitions[i].offset);
}

TEST(PosixHandles, FindsThisProcessHoldingAFolder) {
  test::TempFolder folder;
  File held;
  ASSERT_EQ(held.Open(folder.Path(), kGenericRead, kShareRead | kShareWrite | kShareDelete,
                      Disposition::kOpenExisting, kBackupSemantics),
            0u);
  std::vector<HeldHandle> handles;
  ASSERT_EQ(FindHandlesOnPath(folder.Path(), handles), 0u);
  bool self = false;
  for (const HeldHandle& handle : handles)
    self = self || handle.processId == static_cast<DWORD>(getpid());
  EXPECT_TRUE(self);
  // Nothing is closed on Linux: the holders are only logged.
  EXPECT_GE(ReleaseHandlesOnPath(folder.Path()), 1u);
  held.Close();
  EXPECT_EQ(ReleaseHandlesOnPath(folder.Path()), 0u);
}

}  // namespace
}  // namespace orv::os
