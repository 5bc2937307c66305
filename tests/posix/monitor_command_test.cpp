// `vantrel monitor` run as a user runs it: the built program watching a folder while
// the test changes it, stopped by SIGTERM (or killed), its database read back the way
// recovery points read it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/encoding.h"
#include "posix/native_path.h"
#include "posix/program_start.h"
#include "services/change_database.h"
#include "support/temp_folder.h"
#include "tools/command_run.h"

namespace vantrel_cli {
namespace {

namespace os = orv::os;
using orv::test::Native;

// path -> the kinds recorded for it and the attributes of the last row read.
struct Rows {
  std::map<std::string, std::set<unsigned>> kinds;
  std::map<std::string, unsigned> attributes;
  bool Has(const std::string& path, unsigned kind) const {
    const auto it = kinds.find(path);
    return it != kinds.end() && it->second.count(kind) != 0;
  }
  bool HasAnyBelow(const std::string& prefix) const {
    for (const auto& [path, kind] : kinds)
      if (path.rfind(prefix, 0) == 0) return true;
    return false;
  }
};

void MakeFile(const std::string& path, const std::string& content = "data") {
  std::ofstream(path, std::ios::binary) << content;
}

// Each case runs with both watches: fanotify (where the privileges allow it, else the
// program falls back to inotify) and inotify.
class MonitorCommand : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_EQ(setenv("VANTREL_WATCH", GetParam(), 1), 0);
    root_ = Native(folder_ / ORV_T("volume"));
    outside_ = Native(folder_ / ORV_T("outside"));
    ASSERT_EQ(mkdir(root_.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(outside_.c_str(), 0755), 0);
    database_ = Native(folder_ / ORV_T("changes.db"));
  }
  void TearDown() override {
    unsetenv("VANTREL_WATCH");
    if (child_ > 0) {
      kill(child_, SIGKILL);
      WaitVantrel(child_, errors_);
    }
  }

  std::string In(const std::string& relative) const { return root_ + "/" + relative; }

  // Starts the watcher and waits until it says every watch is set.
  void Start(std::vector<std::string> folders) {
    const std::string number = std::to_string(++runs_);
    const std::string ready = Native(folder_ / os::FromUtf8("ready-" + number));
    errors_ = Native(folder_ / os::FromUtf8("stderr-" + number + ".txt"));
    std::vector<std::string> arguments{"monitor"};
    arguments.insert(arguments.end(), folders.begin(), folders.end());
    arguments.insert(arguments.end(), {"--db", database_, "--ready-file", ready});
    child_ = StartVantrel(arguments, Native(folder_ / os::FromUtf8("stdout-" + number + ".txt")), errors_);
    ASSERT_GT(child_, 0);
    for (int i = 0; i < 1000 && access(ready.c_str(), F_OK) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(access(ready.c_str(), F_OK), 0) << Errors();
  }
  void Start() { Start({"C=" + root_}); }

  // Stops the watcher as a service manager does; its exit status.
  int Stop() {
    kill(child_, SIGTERM);
    const int status = WaitVantrel(child_, errors_);
    child_ = -1;
    return status;
  }

  std::string Errors() const { return orv::test::ReadFile(os::FromUtf8(errors_)); }

  Rows Read() const {
    Rows rows;
    std::unique_ptr<orv::ChangeDatabase> db;
    EXPECT_EQ(orv::ChangeDatabase::Open(database_, orv::ChangeDatabase::Mode::kRead, db), 0u);
    if (!db || db->Start(0) != 0) return rows;
    orv::MonitoredChange change;
    while (db->Next(change) == 0) {
      const std::string path = os::ToUtf8(change.path);
      rows.kinds[path].insert(change.kind);
      rows.attributes[path] = change.attributes;
    }
    return rows;
  }

  orv::test::TempFolder folder_;
  std::string root_, outside_, database_, errors_;
  pid_t child_ = -1;
  int runs_ = 0;
};

TEST_P(MonitorCommand, RecordsCreatedWrittenDeletedAndRenamedEntries) {
  MakeFile(In("old.txt"));
  MakeFile(In("gone.txt"));
  MakeFile(In("before.txt"));
  ASSERT_EQ(mkdir(In("dir").c_str(), 0755), 0);
  Start();
  MakeFile(In("new.txt"));
  std::ofstream(In("old.txt"), std::ios::app) << "more";
  ASSERT_EQ(unlink(In("gone.txt").c_str()), 0);
  ASSERT_EQ(rename(In("before.txt").c_str(), In("after.txt").c_str()), 0);
  ASSERT_EQ(chmod(In("after.txt").c_str(), 0600), 0);
  ASSERT_EQ(rename(In("dir").c_str(), In("folder").c_str()), 0);
  MakeFile(In("folder/inside.txt"));
  EXPECT_EQ(Stop(), 0) << Errors();
  if (std::string(GetParam()) == "inotify") {
    EXPECT_NE(Errors().find("watching (inotify)"), std::string::npos);
  }

  const Rows rows = Read();
  EXPECT_TRUE(rows.Has("C:\\new.txt", 0));
  EXPECT_TRUE(rows.Has("C:\\new.txt", 1));
  EXPECT_EQ(rows.attributes.at("C:\\new.txt") & 0x10, 0u);
  EXPECT_TRUE(rows.Has("C:\\old.txt", 1));
  EXPECT_FALSE(rows.Has("C:\\old.txt", 0));
  EXPECT_TRUE(rows.Has("C:\\gone.txt", 2));
  EXPECT_EQ(rows.attributes.at("C:\\gone.txt"), 0x80u);
  EXPECT_TRUE(rows.Has("C:\\before.txt", 2));
  EXPECT_TRUE(rows.Has("C:\\after.txt", 0));
  EXPECT_TRUE(rows.Has("C:\\after.txt", 3));
  // A folder renamed: its entries are recorded under the new name only.
  EXPECT_TRUE(rows.Has("C:\\dir", 2));
  EXPECT_EQ(rows.attributes.at("C:\\dir"), 0x10u);
  EXPECT_TRUE(rows.Has("C:\\folder", 0));
  EXPECT_TRUE(rows.Has("C:\\folder\\inside.txt", 0));
  EXPECT_FALSE(rows.HasAnyBelow("C:\\dir\\"));
}

TEST_P(MonitorCommand, AFolderMadeOrMovedInIsNewWithItsContentAndWatchedAndOneMovedOutIsNot) {
  ASSERT_EQ(mkdir(In("leaving").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(In("leaving/sub").c_str(), 0755), 0);
  Start();
  ASSERT_EQ(rename(In("leaving").c_str(), (outside_ + "/left").c_str()), 0);
  ASSERT_EQ(mkdir(In("made").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(In("made/deeper").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((outside_ + "/moved").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((outside_ + "/moved/sub").c_str(), 0755), 0);
  MakeFile(outside_ + "/moved/sub/old.txt");
  ASSERT_EQ(rename((outside_ + "/moved").c_str(), In("moved").c_str()), 0);
  // Give the watcher the time to watch the folders it was told about.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  MakeFile(In("made/deeper/later.txt"));
  MakeFile(In("moved/sub/later.txt"));
  MakeFile(outside_ + "/left/sub/later.txt");
  EXPECT_EQ(Stop(), 0) << Errors();

  const Rows rows = Read();
  EXPECT_TRUE(rows.Has("C:\\made", 0));
  EXPECT_EQ(rows.attributes.at("C:\\made") & 0x10, 0x10u);
  EXPECT_TRUE(rows.Has("C:\\moved", 0));
  EXPECT_EQ(rows.attributes.at("C:\\moved") & 0x10, 0x10u);
  EXPECT_TRUE(rows.Has("C:\\made\\deeper\\later.txt", 0));
  EXPECT_TRUE(rows.Has("C:\\moved\\sub\\later.txt", 0));
  EXPECT_TRUE(rows.Has("C:\\leaving", 2));
  EXPECT_FALSE(rows.HasAnyBelow("C:\\leaving\\"));
}

TEST_P(MonitorCommand, AFolderInsideADriveOfTheTableIsRecordedUnderThatDrive) {
  ASSERT_EQ(mkdir(In("Users").c_str(), 0755), 0);
  ASSERT_EQ(setenv("VANTREL_DRIVES", ("D=" + root_).c_str(), 1), 0);
  Start({In("Users")});
  unsetenv("VANTREL_DRIVES");
  MakeFile(In("Users/a.txt"));
  MakeFile(In("outside-the-watch.txt"));
  EXPECT_EQ(Stop(), 0) << Errors();
  const Rows rows = Read();
  EXPECT_TRUE(rows.Has("D:\\Users\\a.txt", 0));
  EXPECT_FALSE(rows.HasAnyBelow("D:\\outside"));
}

// A database kept in the watched folder does not record its own commits.
TEST_P(MonitorCommand, TheDatabaseInsideTheWatchedFolderIsNotRecorded) {
  database_ = In("changes.db");
  Start();
  MakeFile(In("a.txt"));
  std::this_thread::sleep_for(std::chrono::milliseconds(600));  // a few batches
  EXPECT_EQ(Stop(), 0) << Errors();
  const Rows rows = Read();
  EXPECT_TRUE(rows.Has("C:\\a.txt", 0));
  EXPECT_FALSE(rows.HasAnyBelow("C:\\changes.db"));
}

TEST_P(MonitorCommand, RefusesAFolderOfNoDriveAMissingFolderAndADatabaseItMustNotWrite) {
  unsetenv("VANTREL_DRIVES");
  CommandRun run = RunVantrel(folder_, {"monitor", root_, "--db", database_});
  EXPECT_EQ(run.exitCode, kExitUsage);
  EXPECT_NE(run.errors.find(root_ + " is mapped to no drive"), std::string::npos) << run.errors;
  run = RunVantrel(folder_, {"monitor", "C=volume", "--db", database_});
  EXPECT_EQ(run.exitCode, kExitUsage);
  EXPECT_NE(run.errors.find("given from the root"), std::string::npos) << run.errors;
  run = RunVantrel(folder_, {"monitor", "C=" + root_ + "/missing", "--db", database_});
  EXPECT_EQ(run.exitCode, kExitUsage);
  EXPECT_NE(run.errors.find("missing is not a folder"), std::string::npos) << run.errors;
  EXPECT_NE(access(database_.c_str(), F_OK), 0);
  // A database that is another program's file is not written into.
  MakeFile(database_, "some text that is not a database, long enough to be looked at");
  run = RunVantrel(folder_, {"monitor", "C=" + root_, "--db", database_});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_NE(run.errors.find("error 13"), std::string::npos) << run.errors;
  // Nor is a file that a link in the database's place points to.
  const std::string link = Native(folder_ / ORV_T("link.db"));
  ASSERT_EQ(symlink(database_.c_str(), link.c_str()), 0);
  run = RunVantrel(folder_, {"monitor", "C=" + root_, "--db", link});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_NE(run.errors.find("error 681: a link stands where a file was expected"), std::string::npos) << run.errors;
}

TEST_P(MonitorCommand, HostileNamesAreKeptOrSkippedAndLinksAreNotFollowed) {
  ASSERT_EQ(mkdir((outside_ + "/secret").c_str(), 0755), 0);
  ASSERT_EQ(symlink(outside_.c_str(), In("early-link").c_str()), 0);
  Start();
  MakeFile(In("new\nline.txt"));
  MakeFile(In("quote\"s'.txt"));
  MakeFile(In("back\\slash.txt"));
  ASSERT_EQ(symlink(outside_.c_str(), In("link").c_str()), 0);
  MakeFile(outside_ + "/secret/x.txt");
  MakeFile(outside_ + "/y.txt");
  EXPECT_EQ(Stop(), kExitPartial) << Errors();
  // Named once by its Linux path, however many changes it had.
  const std::string errors = Errors();
  const size_t named = errors.find(In("back\\slash.txt"));
  EXPECT_NE(named, std::string::npos) << errors;
  EXPECT_EQ(errors.find("back\\slash.txt", named + In("back").size()), std::string::npos) << errors;

  const Rows rows = Read();
  EXPECT_TRUE(rows.Has("C:\\new\nline.txt", 0));
  EXPECT_TRUE(rows.Has("C:\\quote\"s'.txt", 0));
  EXPECT_FALSE(rows.HasAnyBelow("C:\\back"));
  EXPECT_TRUE(rows.Has("C:\\link", 0));
  EXPECT_EQ(rows.attributes.at("C:\\link") & 0x400, 0x400u);
  EXPECT_FALSE(rows.HasAnyBelow("C:\\link\\"));
  EXPECT_FALSE(rows.HasAnyBelow("C:\\early-link\\"));
  // The test folder's removal speaks Windows paths, in which this name cannot be said.
  unlink(In("back\\slash.txt").c_str());
}

TEST_P(MonitorCommand, AReaderSeesChangesWhileItRunsAndAKilledWatcherLeavesThemReadable) {
  Start();
  MakeFile(In("first.txt"));
  // A reader beside the running watcher sees the change once its batch is committed.
  bool seen = false;
  for (int i = 0; i < 100 && !seen; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    seen = Read().Has("C:\\first.txt", 0);
  }
  EXPECT_TRUE(seen);
  for (int i = 0; i < 2000; ++i) MakeFile(In("busy-" + std::to_string(i)));
  kill(child_, SIGKILL);
  EXPECT_EQ(WaitVantrel(child_, errors_), -1);
  child_ = -1;
  EXPECT_TRUE(Read().Has("C:\\first.txt", 0));

  Start();
  MakeFile(In("second.txt"));
  EXPECT_EQ(Stop(), 0) << Errors();
  const Rows rows = Read();
  EXPECT_TRUE(rows.Has("C:\\first.txt", 0));
  EXPECT_TRUE(rows.Has("C:\\second.txt", 0));
}

// The system drops events when the watcher falls behind: the watched folder is recorded
// as new, so that the next recovery point takes it whole.
TEST_P(MonitorCommand, DroppedEventsRecordTheWholeFolderAsNew) {
  Start();
  kill(child_, SIGSTOP);
  // More files than the queue holds events (fanotify merges the three events of a file).
  int queued = 16384;
  std::ifstream(std::string("/proc/sys/fs/") + GetParam() + "/max_queued_events") >> queued;
  for (int i = 0; i <= queued + 500; ++i) {
    const int fd = open(In("flood-" + std::to_string(i)).c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "x", 1), 1);
    close(fd);
  }
  kill(child_, SIGCONT);
  EXPECT_EQ(Stop(), 0) << Errors();
  EXPECT_NE(Errors().find("dropped changes"), std::string::npos) << Errors();
  EXPECT_TRUE(Read().Has("C:\\", 0));
}

INSTANTIATE_TEST_SUITE_P(Watches, MonitorCommand, ::testing::Values("fanotify", "inotify"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
}  // namespace vantrel_cli
