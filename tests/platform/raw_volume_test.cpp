// Raw volumes and file reference numbers: what a folder that is no volume, and a file
// system without reference numbers, answer.
#include "platform/raw_volume.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace orv::os {
namespace {

TEST(RawVolume, AFolderIsNoVolumeAndAClosedOneReadsNothing) {
  test::TempFolder folder;
  RawVolume volume;
  EXPECT_EQ(volume.Open(folder.Path()), 3u);
  EXPECT_FALSE(volume.IsOpen());
  char byte = 0;
  EXPECT_EQ(volume.Read(0, &byte, 1), 6u);
}

TEST(FileReference, NumbersFilesWhereTheFileSystemDoes) {
  test::TempFolder folder;
  test::WriteFile(folder / ORV_T("a"), "a");
  test::WriteFile(folder / ORV_T("b"), "b");
  uint64_t a = 0;
  EXPECT_EQ(GetFileReference(folder / ORV_T("absent"), a), 2u);
#ifdef _WIN32
  uint64_t b = 0, again = 0;
  ASSERT_EQ(GetFileReference(folder / ORV_T("a"), a), 0u);
  ASSERT_EQ(GetFileReference(folder / ORV_T("b"), b), 0u);
  ASSERT_EQ(GetFileReference(folder / ORV_T("a"), again), 0u);
  EXPECT_NE(a, b);
  EXPECT_EQ(a, again);
#else
  // Only a volume mounted through ntfs-3g has master-file-table numbers on Linux.
  EXPECT_EQ(GetFileReference(folder / ORV_T("a"), a), 50u);
#endif
}

}  // namespace
}  // namespace orv::os
