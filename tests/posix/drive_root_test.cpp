// Mounted partitions of real disks are given drive letters, as Windows gives them.
#include <gtest/gtest.h>

#include "platform/posix/volume_table.h"
#include "platform/volume.h"

namespace orv::os {
namespace {

TEST(DriveRootFor, AMountedFolderKeepsOneLetterAndAFullTableGivesTheFolder) {
  const WString first = posix::DriveRootFor("/mnt/vantrel-test-volume/");
  ASSERT_EQ(first.size(), 3u);
  EXPECT_EQ(first.substr(1), ORV_T(":\\"));
  EXPECT_GE(first[0], Char('C'));
  EXPECT_EQ(GetDriveFolder(first[0]), ORV_T("/mnt/vantrel-test-volume"));
  // The same folder, spelled with or without its slash, keeps its letter.
  EXPECT_EQ(posix::DriveRootFor("/mnt/vantrel-test-volume"), first);

  // Every other letter taken: the folder itself answers.
  std::vector<Char> taken;
  for (Char letter = 'C'; letter <= 'Z'; ++letter) {
    if (!GetDriveFolder(letter).empty()) continue;
    ASSERT_EQ(SetDriveFolder(letter, ORV_T("/mnt/vantrel-filler")), 0u);
    taken.push_back(letter);
  }
  EXPECT_EQ(posix::DriveRootFor("/mnt/vantrel-other"), ORV_T("/mnt/vantrel-other"));
  for (Char letter : taken) SetDriveFolder(letter, ORV_T(""));
  SetDriveFolder(first[0], ORV_T(""));
}

}  // namespace
}  // namespace orv::os
