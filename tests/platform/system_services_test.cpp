// Clocks and calendars, events, the environment, the current directory and programs.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/event.h"
#include "platform/file.h"
#include "platform/process.h"
#include "support/temp_folder.h"

namespace orv::os {
namespace {

using test::TempFolder;

TEST(Calendar, KnownFileTimes) {
  CalendarTime calendar;
  ASSERT_TRUE(FileTimeToCalendar(0, calendar));
  EXPECT_EQ(calendar.year, 1601);
  EXPECT_EQ(calendar.month, 1);
  EXPECT_EQ(calendar.day, 1);
  EXPECT_EQ(calendar.dayOfWeek, 1);  // a Monday

  const CalendarTime y2k{2000, 1, 6, 1, 0, 0, 0, 0};
  FileTime time = 0;
  ASSERT_TRUE(CalendarToFileTime(y2k, time));
  EXPECT_EQ(time, 125911584000000000ULL);

  // 2024-02-29 23:59:58.765, a leap day (a Thursday), there and back.
  const FileTime leap = 133537247987650000ULL;
  ASSERT_TRUE(FileTimeToCalendar(leap, calendar));
  EXPECT_EQ(calendar.day, 29);
  EXPECT_EQ(calendar.dayOfWeek, 4);
  EXPECT_EQ(calendar.milliseconds, 765);
  ASSERT_TRUE(CalendarToFileTime(calendar, time));
  EXPECT_EQ(time, leap);

  EXPECT_FALSE(CalendarToFileTime(CalendarTime{2023, 2, 0, 29, 0, 0, 0, 0}, time));
  EXPECT_FALSE(CalendarToFileTime(CalendarTime{1600, 12, 0, 31, 0, 0, 0, 0}, time));
}

TEST(Clock, LocalConversionIsReversibleAndNowIsNow) {
  const FileTime now = CurrentFileTime();
  EXPECT_GT(now, 133000000000000000ULL);  // after 2022
  EXPECT_EQ(LocalToFileTime(FileTimeToLocal(now)), now);
  const DWORD before = TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GE(static_cast<DWORD>(TickCount() - before), 15u);
}

TEST(Events, ManualAndAutomaticReset) {
  Event manual;
  ASSERT_EQ(manual.Create(ORV_T(""), true, false), 0u);
  EXPECT_FALSE(manual.Wait(0));
  ASSERT_EQ(manual.Set(), 0u);
  EXPECT_TRUE(manual.Wait(0));
  EXPECT_TRUE(manual.Wait(0));
  ASSERT_EQ(manual.Reset(), 0u);
  EXPECT_FALSE(manual.Wait(10));

  Event automatic;
  ASSERT_EQ(automatic.Create(ORV_T(""), false, true), 0u);
  EXPECT_TRUE(automatic.Wait(0));
  EXPECT_FALSE(automatic.Wait(0));  // the successful wait reset it
}

TEST(Events, OneNameIsOneEventAndWaitsWake) {
  Event first, second;
  ASSERT_EQ(first.Create(ORV_T("VantrelTestStop"), true, false), 0u);
  ASSERT_EQ(second.Create(ORV_T("VantrelTestStop"), true, false), 0u);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    first.Set();
  });
  EXPECT_TRUE(second.Wait(10000));
  setter.join();

  Event other;
  ASSERT_EQ(other.Create(ORV_T("VantrelTestOther"), true, false), 0u);
  EXPECT_FALSE(other.Wait(0));
}

TEST(Process, EnvironmentRoundTrip) {
  ASSERT_EQ(SetEnvironment(ORV_T("VANTREL_TEST_VALUE"), ORV_T("caf\u00e9")), 0u);
  EXPECT_EQ(GetEnvironment(ORV_T("VANTREL_TEST_VALUE")), WString(ORV_T("caf\u00e9")));
  EXPECT_FALSE(GetEnvironment(ORV_T("VANTREL_TEST_NEVER_SET")).has_value());
  const WString temp = GetTempFolder();
  ASSERT_FALSE(temp.empty());
  EXPECT_TRUE(temp.back() == '\\' || temp.back() == '/');
}

TEST(Process, RelativePathsStartAtTheCurrentDirectory) {
  TempFolder temp;
  WString saved;
  ASSERT_EQ(GetCurrentDirectory(saved), 0u);
  ASSERT_EQ(SetCurrentDirectory(temp.Path()), 0u);
  test::WriteFile(ORV_T("relative.txt"), "here");
  ASSERT_EQ(SetCurrentDirectory(saved), 0u);
  EXPECT_EQ(test::ReadFile(temp / ORV_T("relative.txt")), "here");
  EXPECT_EQ(SetCurrentDirectory(temp / ORV_T("absent")), err::kFileNotFound);
}

TEST(Process, RunProgramGivesTheExitCode) {
#ifdef _WIN32
  const WString exitThree = ORV_T("cmd /c exit 3");
  const WString missing = ORV_T("vantrel-no-such-program.exe");
#else
  const WString exitThree = ORV_T("sh -c \"exit 3\"");
  const WString missing = ORV_T("vantrel-no-such-program");
#endif
  DWORD exitCode = 0;
  ASSERT_EQ(RunProgram(exitThree, true, exitCode), 0u);
  EXPECT_EQ(exitCode, 3u);
  EXPECT_EQ(RunProgram(missing, true, exitCode), err::kFileNotFound);
}

}  // namespace
}  // namespace orv::os
