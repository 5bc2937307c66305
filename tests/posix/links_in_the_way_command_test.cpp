// Commands that meet links planted where they write: `inp add` to an archive whose last
// part file has been replaced by a link, and `image restore` onto a target where a link
// stands in place of a folder of the image. Nothing is written through the links, and
// each failure says why.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "../tools/command_run.h"
#include "platform/encoding.h"
#include "platform/folder.h"

namespace orv::test {
namespace {

using vantrel_cli::CommandRun;
using vantrel_cli::RunVantrel;

std::string NativeOf(WString path) {
  std::replace(path.begin(), path.end(), Char('\\'), Char('/'));
  return os::ToUtf8(path);
}

TEST(LinksInTheWay, AnAddToAnArchiveWhosePartIsALinkNamesTheArchive) {
  TempFolder temp;
  ASSERT_EQ(os::CreateDirectory(temp / ORV_T("src")), 0u);
  WriteFile(temp / ORV_T("src\\big.bin"), std::string(3 << 20, 'b'));
  WriteFile(temp / ORV_T("small.txt"), "small");
  WriteFile(temp / ORV_T("victim.txt"), "victim");
  const std::string archive = NativeOf(temp / ORV_T("a.inp"));
  ASSERT_EQ(RunVantrel(temp, {"-q", "inp", "create", archive, "--split-size", "1",
                              NativeOf(temp / ORV_T("src"))})
                .exitCode,
            0);
  // The last part the archive wrote becomes a link to the victim.
  std::string last;
  for (int part = 1; part < 10; ++part) {
    char name[32];
    std::snprintf(name, sizeof name, "a_%04d.inp", part);
    const std::string path = NativeOf(temp.Path()) + "/" + name;
    if (access(path.c_str(), F_OK) == 0) last = path;
  }
  ASSERT_FALSE(last.empty());
  ASSERT_EQ(unlink(last.c_str()), 0);
  ASSERT_EQ(symlink("victim.txt", last.c_str()), 0);

  const CommandRun run = RunVantrel(
      temp, {"-q", "inp", "add", archive, NativeOf(temp / ORV_T("small.txt")), "small.txt"});
  EXPECT_EQ(run.exitCode, vantrel_cli::kExitFailure);
  EXPECT_EQ(run.errors,
            "vantrel: inp add: cannot append, the last part file of the archive is a link: error "
            "1920: the file cannot be accessed: " +
                archive + "\n");
  EXPECT_EQ(ReadFile(temp / ORV_T("victim.txt")), "victim");
}

TEST(LinksInTheWay, ARestoreNamesTheLinkInTheTargetAsTheCause) {
  TempFolder temp;
  ASSERT_EQ(os::CreateDirectoryTree(temp / ORV_T("vol\\Users")), 0u);
  ASSERT_EQ(os::CreateDirectory(temp / ORV_T("outside")), 0u);
  ASSERT_EQ(os::CreateDirectory(temp / ORV_T("target")), 0u);
  WriteFile(temp / ORV_T("vol\\Users\\letter.txt"), "letter");
  WriteFile(temp / ORV_T("disks.xml"),
            "<disks><disk Number=\"0\" Name=\"d\" Size=\"10737418240\"><partition Number=\"1\" "
            "Offset=\"1048576\" Size=\"5368709120\" Type=\"07\" FileSystem=\"NTFS\" Folder=\"" +
                NativeOf(temp / ORV_T("vol")) + "\"/></disk></disks>");
  ASSERT_EQ(RunVantrel(temp, {"-q", "image", "create", "--disk", "0", "--disks",
                              NativeOf(temp / ORV_T("disks.xml")), "--target",
                              NativeOf(temp / ORV_T("images")), "--type", "2"})
                .exitCode,
            0);
  ASSERT_EQ(symlink("../outside", NativeOf(temp / ORV_T("target\\Users")).c_str()), 0);
  const CommandRun run =
      RunVantrel(temp, {"-q", "image", "restore",
                        NativeOf(temp / ORV_T("images\\PRELOAD\\DISK0\\PART1")),
                        NativeOf(temp / ORV_T("target"))});
  EXPECT_EQ(run.exitCode, vantrel_cli::kExitPartial) << run.errors;
  EXPECT_NE(run.errors.find("cannot restore Users: error 123: the name is not valid (it would "
                            "leave the target, or a link in the target stands on its way"),
            std::string::npos)
      << run.errors;
  EXPECT_EQ(access(NativeOf(temp / ORV_T("outside\\letter.txt")).c_str(), F_OK), -1);
}

}  // namespace
}  // namespace orv::test
