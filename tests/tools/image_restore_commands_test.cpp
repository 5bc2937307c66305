// `vantrel image restore|list|extract|info|enumerate` on images that `image create`
// makes, run as the program runs them: what they write and print, and the exit status
// of a full success, a partial one, a failure and a refused password.
#include <gtest/gtest.h>

#include "archive/archive_support.h"
#include "command_run.h"
#include "exit_status.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "services_disk/described_disks.h"
#include "support/temp_folder.h"

namespace vantrel_cli {
namespace {

using orv::test::kGiB;
using orv::test::kMiB;
using orv::test::PartitionXml;
namespace os = orv::os;

class ImageRestoreCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(os::CreateDirectory(volume_), 0u);
    ASSERT_EQ(os::CreateDirectory(volume_ + ORV_T("\\docs")), 0u);
    orv::test::WriteFile(volume_ + ORV_T("\\a.txt"), "alpha");
    orv::test::WriteFile(volume_ + ORV_T("\\docs\\b.txt"), "beta");
    orv::test::WriteFile(disks_, "<?xml version=\"1.0\"?>\n<disks>\n" +
                                     orv::test::DiskXml(0, 100 * kGiB,
                                                        PartitionXml(1, kMiB, 10 * kGiB, "07",
                                                                     "FileSystem=\"NTFS\" Folder=\"" +
                                                                         os::ToUtf8(volume_) + "\"")) +
                                     "</disks>\n");
  }

  CommandRun Run(std::vector<std::string> arguments) {
    return RunCommand(folder_, {AddImageCommands}, std::move(arguments));
  }
  void Capture(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> arguments{"image", "create", "--disk", "0", "--disks",
                                       os::ToUtf8(disks_), "--target", os::ToUtf8(images_)};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const CommandRun run = Run(arguments);
    ASSERT_EQ(run.exitCode, 0) << run.output;
  }
  std::string Part() const { return os::ToUtf8(images_ + ORV_T("\\PRELOAD\\DISK0\\PART1")); }

  orv::test::TempFolder folder_;
  orv::WString volume_ = folder_ / ORV_T("c");
  orv::WString disks_ = folder_ / ORV_T("disks.xml");
  orv::WString images_ = folder_ / ORV_T("images");
  orv::WString target_ = folder_ / ORV_T("target");
};

TEST_F(ImageRestoreCommands, RestoreListAndLookIntoACapturedImage) {
  Capture();
  CommandRun run = Run({"image", "restore", Part(), os::ToUtf8(target_)});
  ASSERT_EQ(run.exitCode, kExitSuccess) << run.output;
  EXPECT_EQ(orv::test::ReadFile(target_ + ORV_T("\\a.txt")), "alpha");
  EXPECT_EQ(orv::test::ReadFile(target_ + ORV_T("\\docs\\b.txt")), "beta");

  run = Run({"image", "list", Part(), "--tsv"});
  ASSERT_EQ(run.exitCode, kExitSuccess) << run.output;
  std::vector<std::vector<std::string>> rows = TsvRows(run.output);
  ASSERT_EQ(rows.size(), 2u) << run.output;  // files only, no folder
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows[0][0], "a.txt");
  EXPECT_EQ(rows[0][1], "5");
  EXPECT_EQ(rows[1][0], "docs\\b.txt");

  const std::string archive = Part() + "\\BASE.INP";
  run = Run({"image", "enumerate", archive, "--tsv"});
  ASSERT_EQ(run.exitCode, kExitSuccess);
  EXPECT_EQ(TsvRows(run.output).size(), 3u);  // the folder too

  run = Run({"image", "info", archive, "docs/b.txt"});
  ASSERT_EQ(run.exitCode, kExitSuccess);
  EXPECT_NE(run.output.find("docs/b.txt"), std::string::npos);
  EXPECT_NE(Run({"image", "info", archive, "missing.txt"}).exitCode, kExitSuccess);

  const orv::WString single = folder_ / ORV_T("single");
  run = Run({"image", "extract", archive, os::ToUtf8(single), "--entry", "docs/b.txt"});
  ASSERT_EQ(run.exitCode, kExitSuccess);
  EXPECT_EQ(orv::test::ReadFile(single + ORV_T("\\docs\\b.txt")), "beta");
}

TEST_F(ImageRestoreCommands, ExitStatusTellsPartialSuccessFromFailure) {
  Capture();
  // A folder where a file of the image goes: that entry fails, the rest is written.
  ASSERT_EQ(os::CreateDirectoryTree(target_ + ORV_T("\\a.txt\\blocking")), 0u);
  CommandRun run = Run({"image", "restore", Part(), os::ToUtf8(target_)});
  EXPECT_EQ(run.exitCode, kExitPartial);
  EXPECT_EQ(orv::test::ReadFile(target_ + ORV_T("\\docs\\b.txt")), "beta");

  run = Run({"image", "restore", os::ToUtf8(folder_ / ORV_T("no-image")), os::ToUtf8(target_)});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_NE(Run({"image", "restore", Part(), os::ToUtf8(target_), "--point", "1"}).exitCode,
            kExitSuccess);  // a restore point needs the sets' folder
}

TEST_F(ImageRestoreCommands, APasswordIsCheckedBeforeAnythingIsWritten) {
  // Passwords are kept in WIM images.
  if (!orv::test::WimEngineLoaded()) GTEST_SKIP() << "no WIM engine here";
  Capture({"--type", "4", "--password", "open sesame"});
  CommandRun run = Run({"image", "restore", Part(), os::ToUtf8(target_), "--password", "wrong"});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_EQ(orv::test::ReadFile(target_ + ORV_T("\\a.txt")), "<missing>");
  run = Run({"image", "restore", Part(), os::ToUtf8(target_), "--password", "open sesame"});
  ASSERT_EQ(run.exitCode, kExitSuccess) << run.output;
  EXPECT_EQ(orv::test::ReadFile(target_ + ORV_T("\\a.txt")), "alpha");
}

}  // namespace
}  // namespace vantrel_cli
