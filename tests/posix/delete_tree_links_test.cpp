// Tree deletion never leaves the tree it was given: a link given as the folder, a link
// inside the tree and a folder swapped for a link while it is walked.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "fsutil/delete_tree.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/folder.h"
#include "platform/system.h"
#include "support/temp_folder.h"

namespace orv {
namespace {

using os::FromUtf8;
using os::ToUtf8;

class DeleteTreeLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = ToUtf8(temp_.Path());
    for (char& c : base_)
      if (c == '\\') c = '/';
    ASSERT_EQ(mkdir(N("outside").c_str(), 0777), 0);
    ASSERT_EQ(mkdir(N("outside/inner").c_str(), 0777), 0);
    Put("outside/keep.txt");
    Put("outside/inner/keep2.txt");
  }
  std::string N(const std::string& relative) const { return base_ + "/" + relative; }
  WString W(const std::string& relative) const { return FromUtf8(N(relative)); }
  void Put(const std::string& relative) const { test::WriteFile(W(relative), "data"); }
  bool Exists(const std::string& relative) const {
    struct stat st;
    return lstat(N(relative).c_str(), &st) == 0;
  }
  void ExpectOutsideIntact() const {
    EXPECT_TRUE(Exists("outside/keep.txt"));
    EXPECT_TRUE(Exists("outside/inner/keep2.txt"));
  }

  test::TempFolder temp_;
  std::string base_;
};

TEST_F(DeleteTreeLinks, ALinkGivenAsTheFolderIsRemovedAsALink) {
  ASSERT_EQ(symlink(N("outside").c_str(), N("link").c_str()), 0);
  EXPECT_EQ(DeleteTree(W("link")), 0u);
  EXPECT_FALSE(Exists("link"));
  ExpectOutsideIntact();
  // Emptying through a link enters nothing either.
  ASSERT_EQ(symlink(N("outside").c_str(), N("link2").c_str()), 0);
  EXPECT_FALSE(DeleteContents(W("link2")));
  ExpectOutsideIntact();
  EXPECT_TRUE(Exists("link2"));
}

TEST_F(DeleteTreeLinks, LinksInsideTheTreeGoWithoutTheirTargets) {
  ASSERT_EQ(mkdir(N("tree").c_str(), 0777), 0);
  ASSERT_EQ(mkdir(N("tree/sub").c_str(), 0777), 0);
  Put("tree/sub/file.txt");
  ASSERT_EQ(symlink(N("outside").c_str(), N("tree/sub/to_folder").c_str()), 0);
  ASSERT_EQ(symlink(N("outside/keep.txt").c_str(), N("tree/to_file").c_str()), 0);
  ASSERT_EQ(symlink("/nonexistent/target", N("tree/dangling").c_str()), 0);
  EXPECT_EQ(DeleteTree(W("tree")), 0u);
  EXPECT_FALSE(Exists("tree"));
  ExpectOutsideIntact();
}

TEST_F(DeleteTreeLinks, AFolderSwappedForALinkIsNotEntered) {
  ASSERT_EQ(mkdir(N("tree").c_str(), 0777), 0);
  ASSERT_EQ(mkdir(N("tree/sub").c_str(), 0777), 0);
  Put("tree/sub/file.txt");
  os::Folder root;
  ASSERT_EQ(root.Open(W("tree")), 0u);
  std::vector<os::FolderEntry> entries;
  ASSERT_EQ(root.List(entries), 0u);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].folder);
  // Between the listing and the descent, the folder becomes a link to the outside.
  ASSERT_EQ(rename(N("tree/sub").c_str(), N("moved").c_str()), 0);
  ASSERT_EQ(symlink(N("outside").c_str(), N("tree/sub").c_str()), 0);
  os::Folder child;
  EXPECT_EQ(root.OpenChild(ORV_T("sub"), child), os::kStoppedOnLink);
  EXPECT_EQ(root.DeleteEntry(ORV_T("sub")), 0u) << "the link goes as a link";
  ExpectOutsideIntact();
  EXPECT_TRUE(Exists("moved/file.txt"));
}

TEST_F(DeleteTreeLinks, AnOpenFolderReplacedByALinkIsNotRemovedByName) {
  ASSERT_EQ(mkdir(N("tree").c_str(), 0777), 0);
  ASSERT_EQ(mkdir(N("tree/sub").c_str(), 0777), 0);
  Put("tree/sub/file.txt");
  os::Folder root, child;
  ASSERT_EQ(root.Open(W("tree")), 0u);
  ASSERT_EQ(root.OpenChild(ORV_T("sub"), child), 0u);
  // The open folder is moved away and a link takes its name.
  ASSERT_EQ(rename(N("tree/sub").c_str(), N("moved").c_str()), 0);
  ASSERT_EQ(symlink(N("outside").c_str(), N("tree/sub").c_str()), 0);
  // What the walk deletes is still the folder it opened, wherever it went.
  EXPECT_EQ(child.DeleteEntry(ORV_T("file.txt")), 0u);
  EXPECT_FALSE(Exists("moved/file.txt"));
  EXPECT_NE(child.DeleteSelf(), 0u) << "the name no longer names the folder";
  ExpectOutsideIntact();
  EXPECT_TRUE(Exists("tree/sub"));
}

TEST_F(DeleteTreeLinks, FoldersSwappedDuringTheWalkNeverLeadOutside) {
  ASSERT_EQ(mkdir(N("tree").c_str(), 0777), 0);
  for (int i = 0; i < 40; ++i) {
    const std::string folder = "tree/d" + std::to_string(i);
    ASSERT_EQ(mkdir(N(folder).c_str(), 0777), 0);
    for (int j = 0; j < 5; ++j) Put(folder + "/f" + std::to_string(j));
  }
  ASSERT_EQ(mkdir(N("aside").c_str(), 0777), 0);
  std::atomic<bool> stop{false};
  std::thread swapper([&] {
    // Keeps swapping the folders of the tree for links to the outside.
    for (int round = 0; !stop; ++round) {
      const int i = round % 40;
      const std::string folder = N("tree/d" + std::to_string(i));
      const std::string aside = N("aside/" + std::to_string(round));
      if (rename(folder.c_str(), aside.c_str()) == 0)
        (void)symlink(N("outside").c_str(), folder.c_str());
    }
  });
  DeleteTree(W("tree"));
  stop = true;
  swapper.join();
  ExpectOutsideIntact();
}

TEST_F(DeleteTreeLinks, AccessRepairNeverFollowsALink) {
  ASSERT_EQ(chmod(N("outside/keep.txt").c_str(), 0400), 0);
  ASSERT_EQ(symlink(N("outside/keep.txt").c_str(), N("link").c_str()), 0);
  EXPECT_EQ(os::GrantAdministratorsAccess(W("link"), 0x1F0000), 0u);
  struct stat st;
  ASSERT_EQ(stat(N("outside/keep.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0400u) << "the target kept its permissions";
  ASSERT_EQ(mkdir(N("closed").c_str(), 0), 0);
  EXPECT_EQ(os::GrantAdministratorsAccess(W("closed"), 0x1F0000), 0u);
  ASSERT_EQ(stat(N("closed").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0700, 0700u);
}

}  // namespace
}  // namespace orv
