// A WIM file opened through the archive object: its first image is mounted read-only,
// walked folder before content, extracted entry by entry or by name, and dismounted at
// Close. Needs libwim and FUSE; skipped where the image cannot be mounted.
#include <unistd.h>

#include "archive/morlet.h"
#include "platform/errors.h"
#include "wim_test_support.h"

namespace orv::os {
namespace {

class MountedWim : public WimEngineTest {
 protected:
  void SetUp() override {
    WimEngineTest::SetUp();
    if (IsSkipped()) return;
    MakeTree(Native("src"));
    WriteNative(Native("src/pagefile.sys"), "left behind");
    COrvWim wim;
    Capture(wim, ORV_T("Q:\\image.wim"), ORV_T("Q:\\src"), wim::kCompressXpress);
  }

  // Opens the WIM file; false (the test skipped) when this machine cannot mount.
  bool Open(COrvMorlet& archive) {
    if (archive.Open(ORV_T("Q:\\image.wim"), 1, 0)) return true;
    EXPECT_EQ(archive.GetLastErrorCode(), err::kNotSupported);
    return false;
  }
};

TEST_F(MountedWim, WalkAndExtractTheMountedImageThenDismount) {
  COrvMorlet archive;
  if (!Open(archive)) GTEST_SKIP() << "this machine cannot mount WIM images";
  EXPECT_EQ(archive.GetArchiveType(), 4u);
  Char mount[300];
  ASSERT_TRUE(archive.GetMountPath(mount, 300));
  EXPECT_EQ(WString(mount).rfind(ORV_T("Q:\\Syst"), 0), 0u) << ToUtf8(mount);
  const std::string mountFolder = Native(ToUtf8(WString(mount).substr(3)));

  std::vector<WString> names;
  while (archive.NextEntry(0)) {
    Char name[300];
    archive.GetEntryName(name, 300);
    names.emplace_back(name);
    ASSERT_TRUE(archive.NextEntry(0));  // the same entry again
    ASSERT_TRUE(archive.ExtractCurrent(ORV_T("Q:\\out"), 1)) << archive.GetLastErrorCode();
    archive.NextEntry(1);
  }
  EXPECT_EQ(archive.GetLastErrorCode(), err::kNoMoreItems);
  // Every folder comes before what it holds.
  const auto at = [&](const Char* name) { return std::find(names.begin(), names.end(), name) - names.begin(); };
  EXPECT_LT(at(ORV_T("dir")), at(ORV_T("dir\\sub")));
  EXPECT_LT(at(ORV_T("dir\\sub")), at(ORV_T("dir\\sub\\c.txt")));
  EXPECT_EQ(names.size(), 9u);  // the eight items of the tree and pagefile.sys

  Tree expected = ReadTree(Native("src"));
  expected.erase("pagefile.sys");  // listed, never extracted
  EXPECT_EQ(ReadTree(Native("out")), expected);

  ASSERT_TRUE(archive.ExtractFile(ORV_T("dir\\sub\\c.txt"), ORV_T("Q:\\one")));
  EXPECT_EQ(ReadTree(Native("one")), (Tree{{"dir", "<dir>"}, {"dir/sub", "<dir>"}, {"dir/sub/c.txt", std::string(5000, 'c')}}));
  EXPECT_FALSE(archive.ExtractFile(ORV_T("..\\image.wim"), ORV_T("Q:\\two")));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kInvalidName);
  EXPECT_FALSE(archive.ExtractFile(ORV_T("absent"), ORV_T("Q:\\two")));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kFileNotFound);
  EXPECT_FALSE(archive.FindEntry(ORV_T("a.txt")));  // no index to look names up in

  ASSERT_TRUE(archive.Close());
  EXPECT_FALSE(std::filesystem::exists(mountFolder)) << "the mount folder goes with the mount";
}

// Names given to ExtractFile are read below the mount: a link of the image on the way
// could lead anywhere on this machine, and a wildcard is no name.
TEST_F(MountedWim, ExtractByNameNeverLeavesTheImage) {
  WriteNative(Native("outside/secret.txt"), "host secret");
  ASSERT_EQ(symlink(Native("outside").c_str(), Native("src/escape").c_str()), 0);
  COrvWim wim;
  Capture(wim, ORV_T("Q:\\linked.wim"), ORV_T("Q:\\src"), wim::kCompressXpress);
  COrvMorlet archive;
  if (!archive.Open(ORV_T("Q:\\linked.wim"), 1, 0)) {
    EXPECT_EQ(archive.GetLastErrorCode(), err::kNotSupported);
    GTEST_SKIP() << "this machine cannot mount WIM images";
  }
  EXPECT_FALSE(archive.ExtractFile(ORV_T("escape\\secret.txt"), ORV_T("Q:\\out")));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kInvalidName);
  EXPECT_FALSE(archive.ExtractFile(ORV_T("dir\\*"), ORV_T("Q:\\out")));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kInvalidName);
  EXPECT_FALSE(std::filesystem::exists(Native("out/escape/secret.txt")));
  // The link itself is an entry like any other.
  ASSERT_TRUE(archive.ExtractFile(ORV_T("escape"), ORV_T("Q:\\out"))) << archive.GetLastErrorCode();
  EXPECT_TRUE(std::filesystem::is_symlink(Native("out/escape")));
  EXPECT_TRUE(archive.Close());
}

}  // namespace
}  // namespace orv::os
