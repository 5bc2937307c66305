// Our virtual-disk library on Windows: it loads from beside the program under the name
// the callers look for, finds every export by its plain name, and refuses at once to
// mount, so that the callers' fallbacks and errors follow.
#include <gtest/gtest.h>

#include "image/image.h"
#include "services/virtual_disk.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

TEST(VirtualDiskOnWindows, LoadsWithEveryExportAndCannotMount) {
  VirtualDiskLibrary library;
  ASSERT_EQ(library.Load(), 0u);
  EXPECT_TRUE(library.HasClone());
  EXPECT_TRUE(library.HasCloneWithSplitSize());
  EXPECT_EQ(library.Mount("Q:", "C:\\none.INP", 1), 50);
  EXPECT_EQ(library.UnMount("Q:"), 50);
  TempFolder folder;
  const WString image = folder / ORV_T("BASE.INP");
  EXPECT_EQ(library.CreateAndMount("Q:", "C:\\none.INP", 32, 0), 50);

  COrvImage orv;
  Char drive[10] = {};
  EXPECT_FALSE(orv.MountImageINP(image.c_str(), 32, 0, drive));
  EXPECT_NE(orv.GetLastErrorCode(), 0u) << "a failure names its cause";
  EXPECT_FALSE(orv.MountSectorImage(image, ORV_T("Q:")));
  EXPECT_TRUE(orv.UnmountSectorImage('Q'));
}

}  // namespace
}  // namespace orv::test
