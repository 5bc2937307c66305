// Folders held open without following links: the walk of a tree deletion.
#include "platform/folder.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/errors.h"
#include "platform/file.h"
#include "support/temp_folder.h"

namespace orv::os {
namespace {

bool Exists(const WString& path) {
  DWORD attributes = 0;
  return GetAttributes(path, attributes) == 0;
}

TEST(HeldFolder, OpensListsAndDeletesRelativeToItself) {
  test::TempFolder temp;
  ASSERT_EQ(CreateDirectoryTree(temp / ORV_T("tree\\sub")), 0u);
  test::WriteFile(temp / ORV_T("tree\\file.txt"), "x");
  Folder missing;
  EXPECT_EQ(missing.Open(temp / ORV_T("absent")), err::kFileNotFound);
  Folder file;
  EXPECT_EQ(file.Open(temp / ORV_T("tree\\file.txt")), err::kDirectory);

  Folder tree;
  ASSERT_EQ(tree.Open(temp / ORV_T("tree")), 0u);
  std::vector<FolderEntry> entries;
  ASSERT_EQ(tree.List(entries), 0u);
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, ORV_T("file.txt"));
  EXPECT_FALSE(entries[0].folder);
  EXPECT_EQ(entries[1].name, ORV_T("sub"));
  EXPECT_TRUE(entries[1].folder);
  EXPECT_FALSE(entries[1].link);

  EXPECT_EQ(tree.DeleteEntry(ORV_T("sub")), err::kAccessDenied) << "a folder is no entry";
  Folder pinned, again;
  EXPECT_EQ(tree.PinChild(ORV_T("file.txt"), pinned), err::kDirectory);
  ASSERT_EQ(tree.PinChild(ORV_T("sub"), pinned), 0u);
  FileIdentity pin, opened;
  ASSERT_EQ(pinned.Identity(pin), 0u);
  pinned.Close();
  ASSERT_EQ(tree.OpenChild(ORV_T("sub"), again), 0u);
  ASSERT_EQ(again.Identity(opened), 0u);
  EXPECT_TRUE(pin == opened);
  EXPECT_EQ(again.DeleteSelf(), 0u);
  EXPECT_FALSE(Exists(temp / ORV_T("tree\\sub")));

  EXPECT_EQ(tree.DeleteSelf(), err::kDirNotEmpty);
  Folder reopened;
  ASSERT_EQ(reopened.Open(temp / ORV_T("tree")), 0u);
  EXPECT_EQ(reopened.DeleteEntry(ORV_T("file.txt")), 0u);
  EXPECT_EQ(reopened.DeleteSelf(), 0u);
  EXPECT_FALSE(Exists(temp / ORV_T("tree")));
}

#ifdef _WIN32
// While pinned, the folder keeps its name: it cannot be moved away for a link.
TEST(HeldFolder, APinnedFolderCannotBeRenamed) {
  test::TempFolder temp;
  ASSERT_EQ(CreateDirectoryTree(temp / ORV_T("tree\\sub")), 0u);
  Folder tree, pinned;
  ASSERT_EQ(tree.Open(temp / ORV_T("tree")), 0u);
  ASSERT_EQ(tree.PinChild(ORV_T("sub"), pinned), 0u);
  EXPECT_NE(MoveFile(temp / ORV_T("tree\\sub"), temp / ORV_T("moved"), false), 0u);
  pinned.Close();
  EXPECT_EQ(MoveFile(temp / ORV_T("tree\\sub"), temp / ORV_T("moved"), false), 0u);
}
#endif

}  // namespace
}  // namespace orv::os
