// The routine the `wim` commands give the imaging engine: percent messages draw the
// bar, a file the engine cannot read is reported and skipped, the rest goes on.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "wim/engine.h"
#include "wim_messages.h"

namespace vantrel_cli {
namespace {

std::string Contents(std::FILE* file) {
  std::fflush(file);
  std::string text(4096, '\0');
  std::rewind(file);
  text.resize(std::fread(text.data(), 1, text.size(), file));
  return text;
}

TEST(WimMessages, PercentDrawsTheBarAndErrorsAreSkipped) {
  std::FILE* out = std::tmpfile();
  std::FILE* warnings = std::tmpfile();
  {
    ProgressBar bar("capture", out);
    WimMessageTarget target{&bar, warnings};
    // Ctrl-C is process-wide and cannot be taken back: once an earlier test asked for a
    // cancel, the routine must answer "abort".
    const DWORD goOn = CancelRequested() ? orv::wim::kMsgAbortImage : orv::wim::kMsgSuccess;
    EXPECT_EQ(WimMessageRoutine(orv::wim::kMsgProgress, 25, 1000, &target), goOn);
    EXPECT_EQ(WimMessageRoutine(orv::wim::kMsgProgress, 50, 500, &target), goOn);
    const orv::Char* path = ORV_T("C:\\src\\locked.dat");
    EXPECT_EQ(WimMessageRoutine(orv::wim::kMsgError, reinterpret_cast<ORVVALUE>(path), 32, &target),
              orv::wim::kMsgSkipError);
    EXPECT_EQ(target.skipped, 1u);
    BOOL include = TRUE;
    EXPECT_EQ(WimMessageRoutine(orv::wim::kMsgProcess, reinterpret_cast<ORVVALUE>(path),
                                reinterpret_cast<ORVVALUE>(&include), &target),
              goOn);
    EXPECT_TRUE(include);
  }
  EXPECT_NE(Contents(out).find("capture [####################....................]  50%"),
            std::string::npos);
  EXPECT_NE(Contents(warnings).find(
                "vantrel: skipped: error 32: the file is in use by another process: C:\\src\\locked.dat\n"),
            std::string::npos);
  std::fclose(out);
  std::fclose(warnings);
}

}  // namespace
}  // namespace vantrel_cli
