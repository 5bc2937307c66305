// The log is a process-wide singleton: these tests point it at their own file and put
// the mask back when they end.
#include <gtest/gtest.h>

#include "frame/attach.h"
#include "platform/process.h"
#include "services/log.h"
#include "support/temp_folder.h"

namespace orv {
namespace {

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedMask_ = log_.LevelMask();
    ASSERT_EQ(log_.Redirect(file_), 0u);
  }
  void TearDown() override {
    log_.SetLevelMask(savedMask_);
    log_.Redirect(ORV_T(""));
  }
  std::string Lines() { return test::ReadFile(file_); }

  COrvLog& log_ = COrvLog::GetInstance();
  test::TempFolder folder_;
  WString file_ = folder_ / ORV_T("test.log");
  DWORD savedMask_ = 0;
};

TEST_F(LogTest, EntryAndExitLinesNestAndExitReturnsItsArgument) {
  log_.SetLevelMask(COrvLog::kAllLevels);
  log_.EnterFunction(ORV_T("BOOL COrvImage::EnumerateContent(LPCTSTR pstrFile=%s,ORVDCALLBACK pCallBack)"),
                     ORV_T("C:\\img\\BASE.INP"));
  log_.AddInfo(ORV_T("step %u"), 1u);
  log_.AddError(ORV_T("failed - %u (%8.8X)"), 5u, 5u);
  log_.AddVariable(ORV_T("nCount"), int32_t{-3}, 0, 0);
  EXPECT_EQ(log_.ExitFunction(7), 7);
  const std::string text = Lines();
  EXPECT_NE(text.find("> BOOL COrvImage::EnumerateContent(LPCTSTR pstrFile=C:\\img\\BASE.INP,"), std::string::npos);
  EXPECT_NE(text.find("I   step 1\n"), std::string::npos);  // indented one level
  EXPECT_NE(text.find("E   failed - 5 (00000005)\n"), std::string::npos);
  EXPECT_NE(text.find("V   nCount = -3\n"), std::string::npos);
  EXPECT_NE(text.find("< exit 7\n"), std::string::npos);
}

TEST_F(LogTest, LevelMaskFiltersLines) {
  log_.SetLevelMask(COrvLog::kLevelError);
  log_.AddInfo(ORV_T("hidden"));
  log_.AddError(ORV_T("shown"));
  const std::string text = Lines();
  EXPECT_EQ(text.find("hidden"), std::string::npos);
  EXPECT_NE(text.find("shown"), std::string::npos);
}

TEST_F(LogTest, AttachLeavesAConfiguredAndInitialisedLogAlone) {
  // Another module configured the level and initialised the log before the library.
  log_.SetLevelMask(COrvLog::kLevelError | COrvLog::kLevelInfo);
  if (!log_.IsInitialized()) log_.Init(1);
  ASSERT_EQ(log_.Redirect(file_), 0u);
  OnProcessAttach();
  EXPECT_EQ(log_.LevelMask(), COrvLog::kLevelError | COrvLog::kLevelInfo);
  log_.AddInfo(ORV_T("still here"));
  EXPECT_NE(Lines().find("still here"), std::string::npos);  // not reopened elsewhere
}

}  // namespace
}  // namespace orv
