// `vantrel image wim` run as a user runs it: the built program on real files, its exit
// status and what it prints. Linux only: the program is started through the shell.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "exit_status.h"
#include "platform/encoding.h"
#include "support/temp_folder.h"
#include "wim/wim.h"

namespace vantrel_cli {
namespace {

struct ProgramRun {
  int exitCode = -1;
  std::string output;  // standard output and standard error
};

ProgramRun RunProgram(const std::string& arguments) {
  const std::string command = std::string("'") + VANTREL_PROGRAM_PATH + "' " + arguments + " 2>&1";
  ProgramRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, got);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The folder as the shell names it (the library's path form separates with "\").
std::string NativePath(orv::WString path) {
  for (orv::Char& c : path)
    if (c == '\\') c = '/';
  return orv::os::ToUtf8(path);
}

class ImageWimCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(source_ + "/docs");
    std::FILE* file = std::fopen((source_ + "/docs/a.txt").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("some text", file);
    std::fclose(file);
  }

  static bool HasEngine() {
    orv::COrvWim probe;
    probe.WIMGetImageCount(nullptr);
    return probe.GetLastErrorCode() != ORV_ERROR_ARG1;
  }

  static std::string Quoted(const std::string& path) { return "'" + path + "'"; }

  orv::test::TempFolder folder_;
  std::string root_ = NativePath(folder_.Path());
  std::string source_ = root_ + "/src";
  std::string file_ = root_ + "/set.wim";
};

TEST_F(ImageWimCommand, CapturesAndReplacesOnlyWhenForced) {
  if (!HasEngine()) GTEST_SKIP() << "libwim.so.15 (Debian libwim15) is not installed";
  ProgramRun run = RunProgram("image wim " + Quoted(source_) + " " + Quoted(file_) +
                              " --compression xpress --split-size 10");
  ASSERT_EQ(run.exitCode, kExitSuccess) << run.output;
  EXPECT_NE(run.output.find("captured into"), std::string::npos) << run.output;
  EXPECT_TRUE(std::filesystem::is_regular_file(file_));

  run = RunProgram("image wim " + Quoted(source_) + " " + Quoted(file_));
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_NE(run.output.find("exists; --force replaces it"), std::string::npos) << run.output;

  run = RunProgram("image wim --force " + Quoted(source_) + " " + Quoted(file_));
  EXPECT_EQ(run.exitCode, kExitSuccess) << run.output;
}

TEST_F(ImageWimCommand, RefusesWhatItCannotDoAndSaysWhy) {
  ProgramRun run =
      RunProgram("image wim " + Quoted(source_) + " " + Quoted(file_) + " --compression zip");
  EXPECT_EQ(run.exitCode, kExitUsage);
  EXPECT_NE(run.output.find("unknown compression \"zip\""), std::string::npos) << run.output;
  EXPECT_FALSE(std::filesystem::exists(file_));

  run = RunProgram("image wim " + Quoted(root_ + "/absent") + " " + Quoted(file_));
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_NE(run.output.find("absent is not a folder: error 2"), std::string::npos) << run.output;

  // The engine cannot write where the folder is missing; no stub is left.
  const std::string nowhere = root_ + "/missing/set.wim";
  run = RunProgram("image wim " + Quoted(source_) + " " + Quoted(nowhere));
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_NE(run.output.find("into " + nowhere + " failed: error"), std::string::npos) << run.output;
  EXPECT_FALSE(std::filesystem::exists(nowhere));

  run = RunProgram("image wim --help");
  EXPECT_EQ(run.exitCode, kExitSuccess);
  EXPECT_NE(run.output.find("default lzx"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("default 0: never"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace vantrel_cli
#endif
