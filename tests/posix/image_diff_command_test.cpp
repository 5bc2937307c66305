// `vantrel image diff` run as a user runs it: a volume folder mapped to a letter, two
// differential sets after a full image, and the chain restored to the latest state.
#include <gtest/gtest.h>

#include "archive/archive_support.h"
#include "tools/command_run.h"
#include "exit_status.h"
#include "native_path.h"
#include "platform/encoding.h"
#include "platform/file.h"

namespace vantrel_cli {
namespace {

namespace os = orv::os;
using orv::test::Native;
using orv::test::ReadFile;
using orv::test::WriteFile;

TEST(ImageDiffCommand, SetsAfterAFullImageRestoreToTheLatestState) {
  orv::test::TempFolder folder;
  const orv::WString volume = folder / ORV_T("volume");
  ASSERT_EQ(os::CreateDirectoryTree(volume + ORV_T("\\docs")), 0u);
  WriteFile(volume + ORV_T("\\docs\\a.txt"), "alpha");
  WriteFile(volume + ORV_T("\\docs\\b.txt"), "beta");
  const std::string disks = Native(folder / ORV_T("disks.xml"));
  WriteFile(folder / ORV_T("disks.xml"),
            "<disks><disk Number=\"0\" Size=\"107374182400\"><partition Number=\"1\" Offset=\"1048576\" "
            "Size=\"10737418240\" Type=\"07\" FileSystem=\"NTFS\" Folder=\"" + Native(volume) +
                "\"/></disk></disks>");
  const std::string images = Native(folder / ORV_T("images"));
  CommandRun run = RunVantrel(folder, {"image", "create", "--disk", "0", "--disks", disks, "--target", images});
  ASSERT_EQ(run.exitCode, kExitSuccess) << run.errors;
  const std::string part = images + "/PRELOAD/DISK0/PART1";
  const std::string sets = Native(folder / ORV_T("sets"));
  const std::string drive = "V=" + Native(volume);

  WriteFile(volume + ORV_T("\\docs\\a.txt"), "alpha, changed");
  ASSERT_EQ(os::DeleteFile(volume + ORV_T("\\docs\\b.txt")), 0u);
  run = RunVantrel(folder, {"image", "diff", "--drive", drive, "--reference", part, "--target",
                            sets + "/USERDIFF.0", "--description", "first"});
  ASSERT_EQ(run.exitCode, kExitSuccess) << run.errors;
  WriteFile(volume + ORV_T("\\docs\\c.txt"), "gamma");
  run = RunVantrel(folder, {"image", "diff", "--drive", drive, "--reference", sets + "/USERDIFF.0",
                            "--target", sets + "/USERDIFF.1"});
  ASSERT_EQ(run.exitCode, kExitSuccess) << run.errors;

  const orv::WString restored = folder / ORV_T("restored");
  run = RunVantrel(folder, {"image", "restore", part, Native(restored), "--differential", sets,
                            "--point", "1"});
  ASSERT_EQ(run.exitCode, kExitSuccess) << run.errors;
  EXPECT_EQ(ReadFile(restored + ORV_T("\\docs\\a.txt")), "alpha, changed");
  EXPECT_EQ(ReadFile(restored + ORV_T("\\docs\\b.txt")), "<missing>");
  EXPECT_EQ(ReadFile(restored + ORV_T("\\docs\\c.txt")), "gamma");

  // A point past the last set names the missing set, and nothing is written.
  const orv::WString untouched = folder / ORV_T("untouched");
  run = RunVantrel(folder, {"image", "restore", part, Native(untouched), "--differential", sets,
                            "--point", "3"});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_EQ(run.errors, "vantrel: image restore: " + sets +
                            "/USERDIFF.2 is not there: the sets up to 3 cannot be restored\n");
  EXPECT_EQ(ReadFile(untouched + ORV_T("\\docs\\c.txt")), "<missing>");

  // A letter that is not one, a letter mapped to nothing, a folder that is not there, and
  // a reference without its catalogue (which would make every file new): none makes a set.
  EXPECT_EQ(RunVantrel(folder, {"image", "diff", "--drive", "VV", "--reference", part, "--target",
                                sets + "/bad"}).exitCode,
            kExitUsage);
  EXPECT_EQ(RunVantrel(folder, {"image", "diff", "--drive", "Q", "--reference", part, "--target",
                                sets + "/bad"}).exitCode,
            kExitFailure);
  run = RunVantrel(folder, {"image", "diff", "--drive", "V=" + Native(folder / ORV_T("nowhere")),
                            "--reference", part, "--target", sets + "/bad"});
  EXPECT_EQ(run.exitCode, kExitUsage);
  EXPECT_NE(run.errors.find("nowhere is not a folder"), std::string::npos) << run.errors;
  run = RunVantrel(folder, {"image", "diff", "--drive", drive, "--reference", Native(volume),
                            "--target", sets + "/bad"});
  EXPECT_EQ(run.exitCode, kExitUsage);
  EXPECT_NE(run.errors.find("holds no ALL.CRC"), std::string::npos) << run.errors;
  EXPECT_FALSE(orv::test::Exists(folder / ORV_T("sets/bad")));
}

}  // namespace
}  // namespace vantrel_cli
