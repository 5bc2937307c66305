// The errno table, the Windows command-line rules and the registry stand-in.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <ctime>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/command_line.h"
#include "platform/posix/errno_map.h"
#include "platform/process.h"
#include "support/temp_folder.h"

namespace orv::os {
namespace {

TEST(ErrnoTable, MapsToTheCodesWindowsWouldGive) {
  EXPECT_EQ(posix::ErrnoToWindows(ENOENT), err::kFileNotFound);
  EXPECT_EQ(posix::ErrnoToWindows(ENOTDIR), err::kPathNotFound);
  EXPECT_EQ(posix::ErrnoToWindows(EEXIST), err::kFileExists);
  EXPECT_EQ(posix::ErrnoToWindows(EDQUOT), err::kDiskFull);
  // Anything unforeseen is a failure, never success.
  EXPECT_EQ(posix::ErrnoToWindows(EHOSTDOWN), err::kInternalError);
}

TEST(Encoding, ConvertsAndReplacesWhatIsMalformed) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A, e-acute, euro, emoji
  const WString wide = FromUtf8(text);
  EXPECT_EQ(wide, (WString{'A', 0xE9, 0x20AC, 0xD83D, 0xDE00}));
  EXPECT_EQ(ToUtf8(wide), text);
  // Overlong, encoded surrogate, stray continuation, cut short: one U+FFFD for each byte
  // that starts no valid character, and nothing read past the end.
  EXPECT_EQ(FromUtf8("\xC0\xAF"), (WString{0xFFFD, 0xFFFD}));
  EXPECT_EQ(FromUtf8("\xED\xA0\x80x"), (WString{0xFFFD, 0xFFFD, 0xFFFD, 'x'}));
  EXPECT_EQ(FromUtf8("\x80"), (WString{0xFFFD}));
  EXPECT_EQ(FromUtf8("a\xE2\x82"), (WString{'a', 0xFFFD, 0xFFFD}));
  EXPECT_EQ(ToUtf8(WString{'a', 0xD800, 'b'}), std::string("a\xEF\xBF\xBD") + "b");
  EXPECT_EQ(ToUtf8(WString{0xDC00}), "\xEF\xBF\xBD");
}

std::vector<WString> Split(WStringView line) { return posix::SplitCommandLine(line); }

// The folder helper modules are loaded from is the running file's, also after the
// current directory moved: a program started by a relative name must not look for them
// relative to wherever the process stands now.
TEST(LibraryFolder, IsTheRunningFilesWhereverTheProcessStands) {
  char self[4096] = {};
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(length, 0);
  const std::string program(self, static_cast<size_t>(length));
  const orv::test::TempFolder folder;
  WString saved, found;
  ASSERT_EQ(GetCurrentDirectory(saved), 0u);
  ASSERT_EQ(SetCurrentDirectory(folder.Path()), 0u);
  const DWORD error = GetLibraryFolder(found);
  SetCurrentDirectory(saved);
  ASSERT_EQ(error, 0u);
  EXPECT_EQ(ToUtf8(found), program.substr(0, program.find_last_of('/')));
}

// The process number is kept after the first question; a child made by fork (which names
// its mounts and temporary files with it) must still get its own.
TEST(ProcessId, IsTheChildsOwnAfterAFork) {
  ASSERT_EQ(CurrentProcessId(), static_cast<DWORD>(getpid()));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(CurrentProcessId() == static_cast<DWORD>(getpid()) ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Local calendar fields back to seconds agree with mktime wherever a local time names one
// instant; in the hour the clocks go back either instant is right, and in the hour they
// skip the answer is an hour either way.
TEST(LocalTime, CalendarToSecondsAgreesWithMktimeAcrossDaylightChanges) {
  const char* saved = getenv("TZ");
  const std::string before = saved ? saved : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  int folded = 0, exact = 0;
  // Two years in steps of 7 minutes and 13 seconds, through four changes of the clocks.
  for (time_t at = 1635000000; at < 1635000000 + 2 * 365 * 86400; at += 433) {
    std::tm local{};
    localtime_r(&at, &local);
    CalendarTime calendar{};
    calendar.year = static_cast<uint16_t>(local.tm_year + 1900);
    calendar.month = static_cast<uint16_t>(local.tm_mon + 1);
    calendar.day = static_cast<uint16_t>(local.tm_mday);
    calendar.hour = static_cast<uint16_t>(local.tm_hour);
    calendar.minute = static_cast<uint16_t>(local.tm_min);
    calendar.second = static_cast<uint16_t>(local.tm_sec);
    std::tm fields = local;
    fields.tm_isdst = -1;
    const int64_t expected = static_cast<int64_t>(mktime(&fields));
    const int64_t got = LocalCalendarToTimeValue(calendar);
    if (got == expected) {
      ++exact;
      continue;
    }
    ++folded;
    ASSERT_EQ(std::abs(got - expected), 3600) << "at " << at;
    ASSERT_TRUE(got == at || expected == at) << "at " << at;
  }
  if (saved) setenv("TZ", before.c_str(), 1); else unsetenv("TZ");
  tzset();
  EXPECT_GT(exact, 140000);
  EXPECT_LT(folded, 40);
}

TEST(CommandLine, SplitsAsWindowsDoes) {
  using Args = std::vector<WString>;
  EXPECT_EQ(Split(ORV_T("\"C:\\Program Files\\x.exe\" a  b")),
            (Args{ORV_T("C:\\Program Files\\x.exe"), ORV_T("a"), ORV_T("b")}));
  // The program name keeps its backslashes even before a quote.
  EXPECT_EQ(Split(ORV_T("C:\\bin\\tool.exe \"two words\"")),
            (Args{ORV_T("C:\\bin\\tool.exe"), ORV_T("two words")}));
  EXPECT_EQ(Split(ORV_T("p a\\\\b d\"e f\"g h")),
            (Args{ORV_T("p"), ORV_T("a\\\\b"), ORV_T("de fg"), ORV_T("h")}));
  EXPECT_EQ(Split(ORV_T("p a\\\\\\\"b c")), (Args{ORV_T("p"), ORV_T("a\\\"b"), ORV_T("c")}));
  EXPECT_EQ(Split(ORV_T("p a\\\\\\\\\"b c\" d")),
            (Args{ORV_T("p"), ORV_T("a\\\\b c"), ORV_T("d")}));
  EXPECT_EQ(Split(ORV_T("p \"C:\\dir\\\\\" next")),
            (Args{ORV_T("p"), ORV_T("C:\\dir\\"), ORV_T("next")}));
  // Two quotes inside quotes: a literal quote, and the quoted part ends.
  EXPECT_EQ(Split(ORV_T("p \"a\"\"b c")), (Args{ORV_T("p"), ORV_T("a\"b"), ORV_T("c")}));
  EXPECT_EQ(Split(ORV_T("p \"\"")), (Args{ORV_T("p"), ORV_T("")}));
  EXPECT_EQ(Split(ORV_T(" leading")), (Args{ORV_T(""), ORV_T("leading")}));
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = temp_ / ORV_T("registry");
    for (Char& c : file_)
      if (c == '\\') c = '/';
    const char* previous = std::getenv("VANTREL_REGISTRY");
    if (previous != nullptr) previous_ = previous;
    ASSERT_EQ(SetEnvironment(ORV_T("VANTREL_REGISTRY"), file_), 0u);
  }
  void TearDown() override {
    if (previous_.empty())
      unsetenv("VANTREL_REGISTRY");
    else
      setenv("VANTREL_REGISTRY", previous_.c_str(), 1);
  }

  std::string Content() const {
    std::ifstream in(std::string(file_.begin(), file_.end()));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  test::TempFolder temp_;
  WString file_;
  std::string previous_;
};

TEST_F(Registry, ValuesRoundTripThroughTheFile) {
  DWORD data = 0;
  EXPECT_EQ(ReadRegistryDword(ORV_T("SOFTWARE\\Halvern"), ORV_T("JournalReset"), data),
            err::kFileNotFound);
  EXPECT_FALSE(RegistryKeyExists(ORV_T("SOFTWARE\\Halvern")));

  ASSERT_EQ(WriteRegistryDword(ORV_T("SOFTWARE\\Halvern"), ORV_T("JournalReset"), 7), 0u);
  ASSERT_EQ(WriteRegistryDword(ORV_T("SOFTWARE\\Halvern"), ORV_T("Other"), 4294967295u), 0u);
  EXPECT_EQ(Content(), "SOFTWARE\\Halvern\\JournalReset=7\nSOFTWARE\\Halvern\\Other=4294967295\n");
  ASSERT_EQ(WriteRegistryDword(ORV_T("software\\halvern"), ORV_T("journalreset"), 9), 0u);
  ASSERT_EQ(ReadRegistryDword(ORV_T("SOFTWARE\\HALVERN"), ORV_T("JOURNALRESET"), data), 0u);
  EXPECT_EQ(data, 9u);
  ASSERT_EQ(ReadRegistryDword(ORV_T("SOFTWARE\\Halvern"), ORV_T("Other"), data), 0u);
  EXPECT_EQ(data, 4294967295u);

  EXPECT_TRUE(RegistryKeyExists(ORV_T("Software\\Halvern")));
  EXPECT_FALSE(RegistryKeyExists(ORV_T("Software\\Halv")));
  EXPECT_EQ(ReadRegistryDword(ORV_T("SOFTWARE\\Halvern"), ORV_T("Missing"), data),
            err::kFileNotFound);
  // A name that would break the line format is refused.
  EXPECT_EQ(WriteRegistryDword(ORV_T("SOFTWARE\\Halvern"), ORV_T("a=b"), 1),
            err::kInvalidParameter);
  EXPECT_EQ(WriteRegistryDword(ORV_T("SOFTWARE\\Halvern"), ORV_T("a\nb"), 1),
            err::kInvalidParameter);

  // A deletion takes out that value only, whatever its case, and says when there was none.
  ASSERT_EQ(DeleteRegistryValue(ORV_T("software\\HALVERN"), ORV_T("journalReset")), 0u);
  EXPECT_EQ(Content(), "SOFTWARE\\Halvern\\Other=4294967295\n");
  EXPECT_EQ(DeleteRegistryValue(ORV_T("SOFTWARE\\Halvern"), ORV_T("JournalReset")),
            err::kFileNotFound);
  EXPECT_EQ(Content(), "SOFTWARE\\Halvern\\Other=4294967295\n");
}

}  // namespace
}  // namespace orv::os
