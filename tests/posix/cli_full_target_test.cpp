// A full target ends `inp create` and `inp extract` at the first write that fails, with
// one message naming the cause, instead of one line for every entry left; the archive
// that could not be finished is removed unless the user asks to keep it.
#include <gtest/gtest.h>

#include <random>

#include "exit_status.h"
#include "platform/file.h"
#include "posix/file_size_limit.h"
#include "tools/command_run.h"

namespace vantrel_cli {
namespace {

namespace os = orv::os;
using orv::test::ReadFile;

size_t LinesWith(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class FullTarget : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(os::CreateDirectory(temp_ / ORV_T("tree")), 0u);
    std::mt19937 random(7);
    for (const orv::Char* name : {ORV_T("tree\\1.bin"), ORV_T("tree\\2.bin"), ORV_T("tree\\3.bin"), ORV_T("tree\\4.bin")}) {
      std::string noise(100000, '\0');
      for (char& c : noise) c = static_cast<char>(random());
      orv::test::WriteFile(temp_ / name, noise);
    }
  }
  std::string At(const orv::Char* relative) const { return os::ToUtf8(temp_ / relative); }

  orv::test::TempFolder temp_;
};

TEST_F(FullTarget, CreateStopsAtOnceAndRemovesTheArchive) {
  CommandRun run;
  {
    const orv::test::FileSizeLimit limit(150000);
    run = RunVantrel(temp_, {"inp", "create", At(ORV_T("a.inp")), At(ORV_T("tree"))});
  }
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_EQ(LinesWith(run.errors, "error 112: the disk is full"), 1u) << run.errors;
  EXPECT_EQ(LinesWith(run.errors, "vantrel: inp create: cannot"), 1u) << run.errors;
  EXPECT_NE(run.errors.find("the unfinished archive " + At(ORV_T("a.inp")) + " was removed"), std::string::npos)
      << run.errors;
  EXPECT_EQ(ReadFile(temp_ / ORV_T("a.inp")), "<missing>");
  EXPECT_EQ(ReadFile(temp_ / ORV_T("a_0000.inp")), "<missing>");

  {
    const orv::test::FileSizeLimit limit(150000);
    run = RunVantrel(temp_, {"inp", "create", "--keep-partial", At(ORV_T("a.inp")), At(ORV_T("tree"))});
  }
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_NE(run.errors.find("is kept (--keep-partial)"), std::string::npos) << run.errors;
  EXPECT_NE(ReadFile(temp_ / ORV_T("a.inp")), "<missing>");
}

TEST_F(FullTarget, ExtractStopsAtTheFirstFullWrite) {
  ASSERT_EQ(RunVantrel(temp_, {"inp", "create", At(ORV_T("a.inp")), At(ORV_T("tree"))}).exitCode, 0);
  CommandRun run;
  {
    const orv::test::FileSizeLimit limit(50000);
    run = RunVantrel(temp_, {"inp", "extract", At(ORV_T("a.inp")), At(ORV_T("out"))});
  }
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_EQ(LinesWith(run.errors, "vantrel: inp extract: cannot extract: error 112: the disk is full: 1.bin\n"), 1u)
      << run.errors;
  EXPECT_EQ(LinesWith(run.errors, "vantrel:"), 1u) << run.errors;
}

}  // namespace
}  // namespace vantrel_cli
