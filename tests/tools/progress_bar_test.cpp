#include <gtest/gtest.h>

#include <cstdio>

#include "progress_bar.h"

namespace vantrel_cli {
namespace {

TEST(ProgressBar, RenderBoundsTheFraction) {
  EXPECT_EQ(ProgressBar::Render(50, 100, 10), "[#####.....]  50%");
  EXPECT_EQ(ProgressBar::Render(0, 0, 4), "[....]   0%");     // no total yet
  EXPECT_EQ(ProgressBar::Render(300, 100, 4), "[####] 100%");  // more done than announced
  EXPECT_EQ(ProgressBar::Render(1ULL << 63, ~0ULL, 4), "[##..]  50%");  // no overflow
}

class ProgressBarMessages : public ::testing::Test {
 protected:
  std::string Drawn() {
    std::fflush(out_);
    std::string text(4096, '\0');
    std::rewind(out_);
    text.resize(std::fread(text.data(), 1, text.size(), out_));
    return text;
  }
  std::FILE* out_ = std::tmpfile();
  void TearDown() override { std::fclose(out_); }
};

TEST_F(ProgressBarMessages, PercentAndByteCountsDrawTheBar) {
  {
    ProgressBar bar("restore", out_);
    EXPECT_TRUE(ProgressBar::Callback(ORV_MSG_TOTAL_AMOUNT, 0, 1, 0));  // 4 GiB in all
    EXPECT_TRUE(ProgressBar::Callback(ORV_MSG_DONE_AMOUNT, 0x80000000u, 0, 0));
    EXPECT_TRUE(ProgressBar::Callback(ORV_MSG_PROGRESS, 99, 0, 0));  // ignored: bytes rule
  }
  EXPECT_NE(Drawn().find("restore [####################....................]  50%"),
            std::string::npos);
}

TEST_F(ProgressBarMessages, StartThenProgressInPercent) {
  ProgressBar bar("capture", out_);
  ProgressBar::Callback(ORV_MSG_START, 100, 0, 0);
  ProgressBar::Callback(ORV_MSG_PROGRESS, 25, 0, 0);
  bar.Finish();
  EXPECT_NE(Drawn().find("  25%\n"), std::string::npos);
}

TEST_F(ProgressBarMessages, CancelIsAnsweredOnProgressAndPoll) {
  ProgressBar bar("capture", out_);
  EXPECT_TRUE(ProgressBar::Callback(ORV_MSG_CANCEL_POLL, 0, 0, 0));
  RequestCancel();
  EXPECT_FALSE(ProgressBar::Callback(ORV_MSG_CANCEL_POLL, 0, 0, 0));
  EXPECT_FALSE(ProgressBar::Callback(ORV_MSG_PROGRESS, 1, 0, 0));
  EXPECT_TRUE(ProgressBar::Callback(ORV_MSG_START, 100, 0, 0));  // not a question
  WithdrawCancel();
  EXPECT_TRUE(ProgressBar::Callback(ORV_MSG_PROGRESS, 2, 0, 0));
}

}  // namespace
}  // namespace vantrel_cli
