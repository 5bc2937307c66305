// `vantrel disks` and `vantrel layout write|compare` over disks declared in a description
// file: the program run as a user runs it, its printed results read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "command_run.h"
#include "exit_status.h"
#include "platform/encoding.h"
#include "services_disk/described_disks.h"
#include "support/temp_folder.h"

namespace vantrel_cli {
namespace {

using orv::test::kGiB;
using orv::test::kTrack;
using orv::test::PartitionXml;
namespace os = orv::os;

class DiskCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string volume = os::ToUtf8(volume_.Path());
    orv::test::WriteFile(volume_ / ORV_T("data.bin"), std::string(4096, 'd'));
    const std::string xml =
        "<?xml version=\"1.0\"?>\n<disks>\n" +
        orv::test::DiskXml(
            0, 100 * kGiB,
            PartitionXml(1, kTrack, 40 * kGiB - kTrack, "07",
                         "Active=\"TRUE\" FileSystem=\"NTFS\" Label=\"SYSTEM\" Folder=\"" + volume +
                             "\"") +
                PartitionXml(2, 50 * kGiB, 30 * kGiB, "07", "FileSystem=\"NTFS\" Label=\"DATA\"") +
                PartitionXml(3, 90 * kGiB, 10 * kGiB, "27",
                             "Recovery=\"TRUE\" FileSystem=\"NTFS\" UsedSpace=\"1048576\"")) +
        orv::test::DiskXml(1, 200 * kGiB, "") + "</disks>\n";
    orv::test::WriteFile(disks_, xml);
  }

  CommandRun Run(const std::vector<std::string>& arguments) { return RunVantrel(folder_, arguments); }

  std::string Disks() const { return os::ToUtf8(disks_); }
  std::string Layout() const { return os::ToUtf8(folder_ / ORV_T("MRL.XML")); }

  orv::test::TempFolder folder_;
  orv::test::TempFolder volume_;
  orv::WString disks_ = folder_ / ORV_T("disks.xml");
};

// The lines of the output that contain `text`.
std::vector<std::string> LinesWith(const std::string& output, const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);)
    if (line.find(text) != std::string::npos) lines.push_back(line);
  return lines;
}

TEST_F(DiskCommands, DisksListsDeclaredDisksPartitionsAndFreeStretches) {
  const CommandRun run = Run({"disks", "--disks", Disks()});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(LinesWith(run.output, "Disk 0: Test disk 0, 107374182400 bytes").size(), 1u) << run.output;
  EXPECT_EQ(LinesWith(run.output, "Disk 1: Test disk 1, 214748364800 bytes").size(), 1u);
  const std::vector<std::string> system = LinesWith(run.output, "SYSTEM");
  ASSERT_EQ(system.size(), 1u);
  EXPECT_NE(system[0].find("primary"), std::string::npos);
  EXPECT_NE(system[0].find(" 32256 "), std::string::npos);
  EXPECT_NE(system[0].find("yes"), std::string::npos);  // the boot flag
  EXPECT_NE(system[0].find(os::ToUtf8(volume_.Path())), std::string::npos);  // its folder
  EXPECT_EQ(LinesWith(run.output, "(recovery)").size(), 1u);
  // The 10 GiB between the first two partitions and the 10 GiB before the recovery one.
  EXPECT_EQ(LinesWith(run.output, " free ").size(), 2u + 1u) << run.output;  // and disk 1

  const CommandRun missing = Run({"disks", "--disks", Disks() + ".absent"});
  EXPECT_EQ(missing.exitCode, kExitFailure);
  EXPECT_EQ(missing.output, "");
  EXPECT_EQ(missing.errors, "vantrel: cannot use the disk description: error 2: the file was not found: " +
                                Disks() + ".absent\n");
}

TEST_F(DiskCommands, DisksForScripts) {
  const CommandRun tsv = Run({"disks", "--disks", Disks(), "--tsv"});
  ASSERT_EQ(tsv.exitCode, 0) << tsv.errors;
  const auto rows = TsvRows(tsv.output);
  ASSERT_EQ(rows.size(), 3u + 2u + 1u);  // three partitions and two free stretches, one free disk
  for (const auto& fields : rows) ASSERT_EQ(fields.size(), 13u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"0", "1", "primary", "32256", "42949640704", "07", "1",
                                               rows[0][7], "NTFS", "SYSTEM", "", os::ToUtf8(volume_.Path()) + "\\", "0"}));
  EXPECT_EQ(rows.back()[0], "1");
  EXPECT_EQ(rows.back()[2], "free");

  const CommandRun json = Run({"disks", "--disks", Disks(), "--json"});
  ASSERT_EQ(json.exitCode, 0);
  EXPECT_EQ(json.output.rfind("[{\"number\":0,\"name\":\"Test disk 0\",\"size\":107374182400,", 0), 0u)
      << json.output;
  EXPECT_NE(json.output.find("\"label\":\"DATA\""), std::string::npos);
  EXPECT_EQ(json.output.substr(json.output.size() - 3), "}]\n");
}

TEST_F(DiskCommands, LayoutWrittenFromADiskComparesEqualWithIt) {
  const CommandRun written = Run({"layout", "write", Layout(), "--disk", "0", "--disks", Disks()});
  ASSERT_EQ(written.exitCode, 0);
  EXPECT_EQ(written.output, "Layout of disk 0 written to " + Layout() + "\n");

  const CommandRun same =
      Run({"layout", "compare", Layout(), "--disk", "0", "--disks", Disks(), "--tsv"});
  ASSERT_EQ(same.exitCode, 0);
  EXPECT_EQ(same.output, "1\t1\t32256\t42949640704\t07\n"
                         "2\t1\t53687091200\t32212254720\t07\n"
                         "10\t1\t96636764160\t10737418240\t27\n");  // recovery

  const CommandRun table = Run({"layout", "compare", Layout(), "--disk", "0", "--disks", Disks()});
  ASSERT_EQ(table.exitCode, 0);
  EXPECT_EQ(LinesWith(table.output, "Number").size(), 1u);
  EXPECT_EQ(LinesWith(table.output, "partition matches").size(), 3u) << table.output;

  // On the empty disk twice the size the layout is scaled, free space takes every
  // partition, and the recovery partition ends where the disk ends.
  const CommandRun larger =
      Run({"layout", "compare", Layout(), "--disk", "1", "--disks", Disks(), "--tsv"});
  ASSERT_EQ(larger.exitCode, 0);
  const auto rows = TsvRows(larger.output);
  for (const auto& fields : rows) {
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_EQ(fields[1], "4");
  }
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2][0], "10");
  EXPECT_EQ(std::stoull(rows[2][2]) + std::stoull(rows[2][3]), 200 * kGiB);
}

TEST_F(DiskCommands, LayoutCommandsReportWhatTheyCannotDo) {
  // A missing layout file is a layout without partitions: nothing to place.
  const CommandRun missing =
      Run({"layout", "compare", Layout(), "--disk", "0", "--disks", Disks(), "--tsv"});
  EXPECT_EQ(missing.exitCode, 0);
  EXPECT_EQ(missing.output, "");
  const CommandRun absent = Run({"layout", "compare", Layout(), "--disk", "5", "--disks", Disks()});
  EXPECT_EQ(absent.exitCode, kExitFailure);
  EXPECT_NE(absent.errors.find("vantrel: layout compare: cannot compare " + Layout() + " with disk 5: error "),
            std::string::npos)
      << absent.errors;
  const CommandRun unwritten = Run({"layout", "write", Layout(), "--disk", "7", "--disks", Disks()});
  EXPECT_EQ(unwritten.exitCode, kExitFailure);
  EXPECT_NE(unwritten.errors.find("vantrel: layout write: cannot read: error 2: the file was not found: disk 7"),
            std::string::npos)
      << unwritten.errors;
  EXPECT_EQ(Run({"layout", "compare", Layout(), "--disks", Disks()}).exitCode, kExitUsage);  // no --disk
  const CommandRun json = Run({"layout", "compare", Layout(), "--disk", "0", "--disks", Disks(), "--json"});
  EXPECT_EQ(json.exitCode, 0);
  EXPECT_EQ(json.output, "[]\n");
}

}  // namespace
}  // namespace vantrel_cli
