// `vantrel image verify` over images that `vantrel image create` made, run as the
// program runs: its report, and its exit status for a sound image, a damaged one, bad
// arguments and a cancel.
#include <gtest/gtest.h>

#include <random>

#include "command_run.h"
#include "exit_status.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "platform/process.h"
#include "progress_bar.h"
#include "services_disk/described_disks.h"
#include "support/temp_folder.h"

namespace vantrel_cli {
namespace {

namespace os = orv::os;

class ImageVerifyCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(os::CreateDirectory(volume_), 0u);
    ASSERT_EQ(os::CreateDirectory(volume_ + ORV_T("\\docs")), 0u);
    // Content that does not compress, so that a split size of 1 MiB gives part files.
    std::mt19937 random(5);
    std::string noise(3 << 20, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    orv::test::WriteFile(volume_ + ORV_T("\\a.txt"), noise);
    orv::test::WriteFile(volume_ + ORV_T("\\docs\\b.txt"), "b");
    orv::test::WriteFile(
        disks_, "<?xml version=\"1.0\"?>\n<disks>\n" +
                    orv::test::DiskXml(0, 100 * orv::test::kGiB,
                                       orv::test::PartitionXml(1, orv::test::kMiB, 10 * orv::test::kGiB, "07",
                                                               "FileSystem=\"NTFS\" Folder=\"" +
                                                                   os::ToUtf8(volume_) + "\"")) +
                    "</disks>\n");
    saved_ = os::GetEnvironment(ORV_T("VANTREL_DISKS"));
  }
  void TearDown() override { os::SetEnvironment(ORV_T("VANTREL_DISKS"), saved_.value_or(ORV_T(""))); }

  CommandRun Run(std::vector<std::string> arguments) {
    return RunCommand(folder_, {AddImageCommands}, std::move(arguments));
  }
  // Captures the volume into the target folder as `image create` does.
  void Create(const std::vector<std::string>& options) {
    std::vector<std::string> arguments = {"image", "create", "--disk", "0", "--disks",
                                          os::ToUtf8(disks_), "--target", os::ToUtf8(target_)};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const CommandRun run = Run(arguments);
    ASSERT_EQ(run.exitCode, kExitSuccess) << run.output;
  }

  orv::test::TempFolder folder_;
  orv::WString volume_ = folder_ / ORV_T("c");
  orv::WString disks_ = folder_ / ORV_T("disks.xml");
  orv::WString target_ = folder_ / ORV_T("images");
  orv::WString part_ = target_ + ORV_T("\\PRELOAD\\DISK0\\PART1");
  std::optional<orv::WString> saved_;
};

TEST_F(ImageVerifyCommand, PassesASoundImageAndNamesWhatIsWrongWithADamagedOne) {
  Create({"--type", "5", "--split-size", "1"});
  CommandRun run = Run({"image", "verify", os::ToUtf8(target_)});
  EXPECT_EQ(run.exitCode, kExitSuccess) << run.output;
  EXPECT_NE(run.output.find("all well"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("3 entries"), std::string::npos) << run.output;

  ASSERT_EQ(os::DeleteFile(part_ + ORV_T("\\BASE_0002.INP")), 0u);
  run = Run({"image", "verify", os::ToUtf8(part_)});
  EXPECT_EQ(run.exitCode, kExitFailure) << run.output;
  EXPECT_NE(run.output.find("BASE_0002.INP: is missing"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("BASE.INP: a.txt:"), std::string::npos) << run.output;

  // A type 2 image whose catalogue lists an entry that the archive lacks.
  Create({});
  const std::string line = "ghost.txt=FFFFFFFE|1,0\r\n";
  std::string crc = orv::test::ReadFile(part_ + ORV_T("\\ALL.CRC"));
  for (const char c : line) crc += std::string{c, '\0'};
  orv::test::WriteFile(part_ + ORV_T("\\ALL.CRC"), crc);
  run = Run({"image", "verify", os::ToUtf8(target_)});
  EXPECT_EQ(run.exitCode, kExitFailure) << run.output;
  EXPECT_NE(run.output.find("ALL.CRC: ghost.txt: is listed, but no archive"), std::string::npos) << run.output;
}

TEST_F(ImageVerifyCommand, BadArgumentsAnEmptyFolderAndACancelAreNoSuccess) {
  EXPECT_EQ(Run({"image", "verify", os::ToUtf8(folder_ / ORV_T("nowhere"))}).exitCode, kExitUsage);
  EXPECT_NE(Run({"image", "verify"}).exitCode, kExitSuccess);
  EXPECT_EQ(Run({"image", "verify", os::ToUtf8(volume_)}).exitCode, kExitFailure);

  Create({});
  RequestCancel();
  const CommandRun run = Run({"image", "verify", os::ToUtf8(target_)});
  WithdrawCancel();
  EXPECT_EQ(run.exitCode, kExitCancelled) << run.output;
}

}  // namespace
}  // namespace vantrel_cli
