// `vantrel image create` over a disk declared in a description file, run as the program
// runs it: the PRELOAD tree it leaves, the partitions it is told to take, and the exit
// status of a capture that cannot be made.
#include <gtest/gtest.h>

#include "command_run.h"
#include "error_text.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "platform/process.h"
#include "services_disk/described_disks.h"
#include "support/temp_folder.h"

namespace vantrel_cli {
namespace {

using orv::test::kGiB;
using orv::test::kMiB;
using orv::test::PartitionXml;
namespace os = orv::os;

class ImageCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(os::CreateDirectory(first_), 0u);
    ASSERT_EQ(os::CreateDirectory(second_), 0u);
    orv::test::WriteFile(first_ + ORV_T("\\a.txt"), "first partition");
    orv::test::WriteFile(second_ + ORV_T("\\b.txt"), "second partition");
    orv::test::WriteFile(
        disks_, "<?xml version=\"1.0\"?>\n<disks>\n" +
                    orv::test::DiskXml(
                        0, 100 * kGiB,
                        PartitionXml(1, kMiB, 10 * kGiB, "07",
                                     "FileSystem=\"NTFS\" Folder=\"" + os::ToUtf8(first_) + "\"") +
                            PartitionXml(2, 20 * kGiB, 10 * kGiB, "07",
                                         "FileSystem=\"NTFS\" Folder=\"" + os::ToUtf8(second_) + "\"")) +
                    "</disks>\n");
    saved_ = os::GetEnvironment(ORV_T("VANTREL_DISKS"));
  }
  void TearDown() override { os::SetEnvironment(ORV_T("VANTREL_DISKS"), saved_.value_or(ORV_T(""))); }

  CommandRun Run(std::vector<std::string> arguments) {
    return RunCommand(folder_, {AddImageCommands}, std::move(arguments));
  }
  bool Exists(const orv::WString& path) {
    DWORD attributes = 0;
    return os::GetAttributes(path, attributes) == 0;
  }

  orv::test::TempFolder folder_;
  orv::WString first_ = folder_ / ORV_T("c");
  orv::WString second_ = folder_ / ORV_T("d");
  orv::WString disks_ = folder_ / ORV_T("disks.xml");
  orv::WString target_ = folder_ / ORV_T("images");
  std::optional<orv::WString> saved_;
};

TEST_F(ImageCommands, CreateCapturesTheChosenPartitions) {
  const std::string target = os::ToUtf8(target_);
  CommandRun run = Run({"image", "create", "--disk", "0", "--disks", os::ToUtf8(disks_), "--target",
                        target, "--partition", "2"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("PRELOAD"), std::string::npos);
  EXPECT_FALSE(Exists(target_ + ORV_T("\\PRELOAD\\DISK0\\PART1")));
  EXPECT_TRUE(Exists(target_ + ORV_T("\\PRELOAD\\DISK0\\PART2\\BASE.INP")));
  EXPECT_TRUE(Exists(target_ + ORV_T("\\PRELOAD\\MRL.XML")));

  run = Run({"image", "create", "--disk", "0", "--disks", os::ToUtf8(disks_), "--target", target,
             "--type", "5", "--split-size", "1"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Exists(target_ + ORV_T("\\PRELOAD\\DISK0\\PART1\\BASE.INP")));
}

TEST(ErrorText, CodesComeWithTheirMeaning) {
  EXPECT_EQ(ErrorText(3), "error 3: the path was not found");
  EXPECT_EQ(ErrorText(ORV_ERROR_CANCELLED), "error 0x10000801: cancelled");
  EXPECT_EQ(ErrorText(4242), "error 4242");
}

TEST_F(ImageCommands, FailuresExitWithAnErrorAndLeaveNoTree) {
  const std::string target = os::ToUtf8(target_);
  // A plain folder is no volume the virtual-disk library can copy raw.
  CommandRun run = Run({"image", "create", "--disk", "0", "--disks", os::ToUtf8(disks_), "--target",
                        target, "--type", "3"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_FALSE(Exists(target_ + ORV_T("\\PRELOAD")));
  // A disk that does not exist, and a type that does not exist.
  EXPECT_EQ(Run({"image", "create", "--disk", "7", "--disks", os::ToUtf8(disks_), "--target", target})
                .exitCode,
            1);
  EXPECT_NE(Run({"image", "create", "--disk", "0", "--target", target, "--type", "9"}).exitCode, 0);
}

}  // namespace
}  // namespace vantrel_cli
