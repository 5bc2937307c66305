// Recovery points from a change database that the watcher fills while files change: the
// monitor runs as its own process over a folder standing for the system drive, and two
// points taken one after the other hold what changed before each of them.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "archive/archive_support.h"
#include "image/catalogue_xml.h"
#include "native_path.h"
#include "platform/encoding.h"
#include "program_start.h"
#include "services/change_database.h"
#include "tools/command_run.h"

namespace vantrel_cli {
namespace {

namespace os = orv::os;
using orv::test::Native;
using orv::test::ReadFile;
using orv::test::WriteFile;

class RecoveryFromWatcher : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VANTREL_REGISTRY", Native(folder_ / ORV_T("registry")).c_str(), 1);
    ASSERT_EQ(os::CreateDirectoryTree(volume_ + ORV_T("\\docs")), 0u);
    WriteFile(volume_ + ORV_T("\\docs\\a.txt"), "alpha");
    WriteFile(volume_ + ORV_T("\\docs\\b.txt"), "beta");
    WriteFile(volume_ + ORV_T("\\kept.txt"), "never changed");
  }
  void TearDown() override {
    if (watcher_ > 0) {
      kill(watcher_, SIGKILL);
      WaitVantrel(watcher_, Native(folder_ / ORV_T("watcher-errors.txt")));
    }
    unsetenv("VANTREL_REGISTRY");
  }

  void StartWatcher() {
    const std::string ready = Native(folder_ / ORV_T("ready"));
    watcher_ = StartVantrel({"monitor", "C=" + Native(volume_), "--db", Native(database_),
                             "--ready-file", ready},
                            Native(folder_ / ORV_T("watcher-output.txt")),
                            Native(folder_ / ORV_T("watcher-errors.txt")));
    ASSERT_GT(watcher_, 0);
    for (int i = 0; i < 1000 && access(ready.c_str(), F_OK) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(access(ready.c_str(), F_OK), 0);
  }

  // Waits until the watcher has committed a change of `path` (a "C:\..." path).
  void AwaitRow(const orv::WString& path) {
    for (int i = 0; i < 500; ++i) {
      std::unique_ptr<orv::ChangeDatabase> db;
      if (orv::ChangeDatabase::Open(Native(database_), orv::ChangeDatabase::Mode::kRead, db) == 0 &&
          db->Start(0) == 0) {
        orv::MonitoredChange change;
        while (db->Next(change) == 0)
          if (change.path == path) return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    FAIL() << "the watcher never recorded " << os::ToUtf8(path);
  }

  CommandRun TakePoint(const std::string& last, const std::string& target) {
    const std::string points = Native(folder_ / ORV_T("points"));
    return RunVantrel(folder_, {"-q", "recovery", "create", "--db", Native(database_), "--last",
                                points + "/" + last, "--target", points + "/" + target, "--drive",
                                "C=" + Native(volume_)});
  }

  std::map<orv::WString, std::string> Extracted(const std::string& point) {
    const orv::WString out = folder_ / os::FromUtf8("out-" + point);
    const CommandRun run =
        RunVantrel(folder_, {"inp", "extract", Native(folder_ / ORV_T("points")) + "/" + point + "/BASE.INP",
                             Native(out)});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    std::map<orv::WString, std::string> files;
    for (const auto& [name, content] : orv::test::TreeOf(out))
      if (content != "<dir>" && name.find(ORV_T(".db")) == orv::WString::npos) files[name] = content;
    return files;
  }

  orv::test::TempFolder folder_;
  orv::WString volume_ = folder_ / ORV_T("volume");
  orv::WString database_ = folder_ / ORV_T("changes.db");
  pid_t watcher_ = -1;
};

TEST_F(RecoveryFromWatcher, PointsHoldWhatChangedBeforeThem) {
  StartWatcher();
  if (HasFatalFailure()) return;
  WriteFile(volume_ + ORV_T("\\docs\\a.txt"), "alpha, edited");
  ASSERT_EQ(os::CreateDirectoryTree(volume_ + ORV_T("\\new\\inner")), 0u);
  WriteFile(volume_ + ORV_T("\\new\\inner\\n.txt"), "new");
  ASSERT_EQ(os::DeleteFile(volume_ + ORV_T("\\docs\\b.txt")), 0u);
  AwaitRow(ORV_T("C:\\docs\\b.txt"));
  AwaitRow(ORV_T("C:\\new\\inner\\n.txt"));
  if (HasFatalFailure()) return;

  CommandRun run = TakePoint("none", "1");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_EQ(Extracted("1"), (std::map<orv::WString, std::string>{
                                {ORV_T("docs\\a.txt"), "alpha, edited"},
                                {ORV_T("new\\inner\\n.txt"), "new"}}));
  std::vector<orv::DeletedEntry> deleted;
  ASSERT_EQ(orv::ReadDeletionList(folder_ / ORV_T("points\\1\\DEL.XML"), deleted), 0u);
  ASSERT_EQ(deleted.size(), 1u);
  EXPECT_EQ(deleted[0].path, ORV_T("docs\\b.txt"));

  // The watcher goes on; the next point holds only what changed after the first.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  WriteFile(volume_ + ORV_T("\\docs\\a.txt"), "alpha, edited twice");
  WriteFile(volume_ + ORV_T("\\later.txt"), "later");
  AwaitRow(ORV_T("C:\\later.txt"));
  if (HasFatalFailure()) return;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  run = TakePoint("1", "2");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_EQ(Extracted("2"), (std::map<orv::WString, std::string>{
                                {ORV_T("docs\\a.txt"), "alpha, edited twice"},
                                {ORV_T("later.txt"), "later"}}));

  kill(watcher_, SIGTERM);
  EXPECT_EQ(WaitVantrel(watcher_, Native(folder_ / ORV_T("watcher-errors.txt"))), 0);
  watcher_ = -1;
}

}  // namespace
}  // namespace vantrel_cli
