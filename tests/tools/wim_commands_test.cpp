// `vantrel wim ...`, `version` and `selfcheck` run as a user runs them: what a capture
// leaves when it cannot finish or would replace a file, sizes and listings as scripts
// give and read them.
#include <gtest/gtest.h>

#include "command_run.h"
#include "exit_status.h"
#include "platform/file.h"

namespace vantrel_cli {
namespace {

namespace os = orv::os;
using orv::test::ReadFile;
using orv::test::WriteFile;

class WimCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(os::CreateDirectoryTree(temp_ / ORV_T("tree\\sub")), 0u);
    WriteFile(temp_ / ORV_T("tree\\sub\\b.txt"), "bee");
  }
  CommandRun Run(const std::vector<std::string>& arguments) { return RunVantrel(temp_, arguments); }
  std::string At(const orv::Char* relative) const { return os::ToUtf8(temp_ / relative); }

  orv::test::TempFolder temp_;
};

TEST_F(WimCommands, CaptureReplacesOnlyWithForceAndLeavesNoStub) {
  WriteFile(temp_ / ORV_T("old.wim"), "kept");
  CommandRun run = Run({"wim", "capture", At(ORV_T("tree")), At(ORV_T("old.wim"))});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_NE(run.errors.find(At(ORV_T("old.wim")) + " exists; give --force"), std::string::npos) << run.errors;
  EXPECT_EQ(ReadFile(temp_ / ORV_T("old.wim")), "kept");

  // A folder that is not there: the capture fails, and the file it began is gone.
  run = Run({"wim", "capture", At(ORV_T("absent")), At(ORV_T("new.wim"))});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_EQ(run.errors.find("error 0"), std::string::npos) << run.errors;
  EXPECT_EQ(ReadFile(temp_ / ORV_T("new.wim")), "<missing>") << run.errors;
  run = Run({"wim", "capture", "--force", At(ORV_T("absent")), At(ORV_T("old.wim"))});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_EQ(ReadFile(temp_ / ORV_T("old.wim")), "<missing>") << run.errors;
}

TEST_F(WimCommands, CapturedFileIsListedForScripts) {
  const std::string file = At(ORV_T("t.wim"));
  const CommandRun capture = Run({"wim", "capture", At(ORV_T("tree")), file, "--compress", "xpress"});
  if (capture.errors.find("no imaging engine") != std::string::npos) GTEST_SKIP() << capture.errors;
  ASSERT_EQ(capture.exitCode, 0) << capture.errors;
  const auto rows = TsvRows(Run({"wim", "info", "--tsv", file}).output);
  ASSERT_GE(rows.size(), 6u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"file", file}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"images", "1"}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"compression", "XPRESS"}));
  const CommandRun json = Run({"wim", "info", "--json", file});
  ASSERT_EQ(json.exitCode, 0);
  EXPECT_NE(json.output.find("\"images\":1,\"compression\":\"XPRESS\",\"part\":1,\"parts\":1,"), std::string::npos)
      << json.output;
  const CommandRun split = Run({"wim", "split", file, "64K", "--output", At(ORV_T("t.swm"))});
  EXPECT_EQ(split.exitCode, 0) << split.errors;
  EXPECT_NE(split.output.find("parts of at most 65536 bytes"), std::string::npos) << split.output;
}

TEST_F(WimCommands, BadValuesAreUsageAndFailuresNameTheFile) {
  WriteFile(temp_ / ORV_T("plain.txt"), "not a WIM file");
  for (const char* size : {"0", "abc", "5T"})
    EXPECT_EQ(Run({"wim", "split", At(ORV_T("plain.txt")), size}).exitCode, kExitUsage) << size;
  EXPECT_EQ(Run({"wim", "capture", At(ORV_T("tree")), At(ORV_T("n.wim")), "--compress", "best"}).exitCode,
            kExitUsage);
  const CommandRun info = Run({"wim", "info", At(ORV_T("plain.txt"))});
  EXPECT_EQ(info.exitCode, kExitFailure);
  EXPECT_NE(info.errors.find("vantrel: wim info: "), std::string::npos) << info.errors;
  EXPECT_NE(info.errors.find(At(ORV_T("plain.txt")) + "\n"), std::string::npos) << info.errors;
}

TEST_F(WimCommands, VersionAndSelfCheck) {
  const CommandRun version = Run({"version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.output.rfind("vantrel ", 0), 0u) << version.output;
  EXPECT_EQ(Run({"--version"}).output, version.output);
  const CommandRun check = Run({"selfcheck"});
  EXPECT_EQ(check.exitCode, 0) << check.output << check.errors;
  EXPECT_NE(check.output.find("all six families answer"), std::string::npos);
  EXPECT_EQ(Run({"selfcheck", "--what"}).exitCode, kExitUsage);
}

}  // namespace
}  // namespace vantrel_cli
