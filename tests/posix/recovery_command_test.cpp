// `vantrel recovery create` run as a user runs it: a change database filled as the
// monitor fills it, a system drive mapped to a folder, and the point's archive
// extracted again with `vantrel inp extract`.
#include <gtest/gtest.h>

#include <cstdlib>

#include "archive/archive_support.h"
#include "exit_status.h"
#include "native_path.h"
#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "services/change_database.h"
#include "progress_bar.h"
#include "tools/command_run.h"

namespace vantrel_cli {
namespace {

namespace os = orv::os;
using orv::test::Native;
using orv::test::ReadFile;
using orv::test::WriteFile;

class RecoveryCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    // The program marks its work in a registry file of the test's own.
    setenv("VANTREL_REGISTRY", Native(folder_ / ORV_T("registry")).c_str(), 1);
  }
  void TearDown() override { unsetenv("VANTREL_REGISTRY"); }

  void Record(const orv::WString& path, DWORD kind) {
    std::unique_ptr<orv::ChangeDatabase> db;
    ASSERT_EQ(orv::ChangeDatabase::Open(Native(database_), orv::ChangeDatabase::Mode::kWrite, db),
              0u);
    ASSERT_EQ(db->Record(orv::MonitoredChange{path, kind, os::kAttrArchive,
                                              os::FileTimeToLocal(os::CurrentFileTime())}),
              0u);
  }

  orv::test::TempFolder folder_;
  orv::WString volume_ = folder_ / ORV_T("volume");
  orv::WString database_ = folder_ / ORV_T("changes.db");
};

TEST_F(RecoveryCommand, StoresTheChangesAndTheArchiveExtractsThem) {
  ASSERT_EQ(os::CreateDirectoryTree(volume_ + ORV_T("\\docs")), 0u);
  WriteFile(volume_ + ORV_T("\\docs\\a.txt"), "alpha");
  WriteFile(volume_ + ORV_T("\\docs\\b.txt"), "beta, not changed");
  WriteFile(volume_ + ORV_T("\\c.txt"), "gamma");
  Record(ORV_T("C:\\docs\\a.txt"), orv::kChangeModified);
  Record(ORV_T("C:\\c.txt"), orv::kChangeCreated);
  Record(ORV_T("C:\\docs\\gone.txt"), orv::kChangeDeleted);
  const std::string points = Native(folder_ / ORV_T("points"));

  CommandRun run = RunVantrel(folder_, {"recovery", "create", "--db", Native(database_), "--last",
                                        points + "/0", "--target", points + "/1", "--description",
                                        "first point", "--drive", "C=" + Native(volume_)});
  ASSERT_EQ(run.exitCode, kExitSuccess) << run.errors;
  const uint64_t bytes = 5 + 5 + orv::test::FileSize(database_);
  EXPECT_EQ(run.output, "recovery point written to " + points + "/1: 4 files, " +
                            std::to_string(bytes) + " bytes\n");

  const orv::WString out = folder_ / ORV_T("out");
  run = RunVantrel(folder_, {"inp", "extract", points + "/1/BASE.INP", Native(out)});
  ASSERT_EQ(run.exitCode, kExitSuccess) << run.errors;
  EXPECT_EQ(orv::test::TreeOf(out), (std::map<orv::WString, std::string>{
                                        {ORV_T("c.txt"), "gamma"},
                                        {ORV_T("changes.db"), ReadFile(database_)},
                                        {ORV_T("docs"), "<dir>"},
                                        {ORV_T("docs\\a.txt"), "alpha"},
                                    }));
  EXPECT_NE(ReadFile(folder_ / ORV_T("points\\1\\DEL.XML")).size(), 0u);
}

TEST_F(RecoveryCommand, FailuresNameTheirCause) {
  ASSERT_EQ(os::CreateDirectory(volume_), 0u);
  const std::string points = Native(folder_ / ORV_T("points"));
  const std::string drive = "C=" + Native(volume_);
  // No database there.
  CommandRun run =
      RunVantrel(folder_, {"recovery", "create", "--db", Native(database_), "--last", points + "/0",
                           "--target", points + "/1", "--drive", drive});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_NE(run.errors.find("error 2: the file was not found"), std::string::npos) << run.errors;
  EXPECT_FALSE(orv::test::Exists(folder_ / ORV_T("points\\1")));
  // The new folder would take the previous point with it.
  Record(ORV_T("C:\\x.txt"), orv::kChangeModified);
  run = RunVantrel(folder_, {"recovery", "create", "--db", Native(database_), "--last",
                             points + "/0", "--target", points, "--drive", drive});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_NE(run.errors.find("error 87"), std::string::npos) << run.errors;
  // Ctrl-C: cancelled, and no folder left.
  RequestCancel();
  run = RunCommand(folder_, {AddRecoveryCommands},
                   {"recovery", "create", "--db", Native(database_), "--last", points + "/0",
                    "--target", points + "/1"});
  WithdrawCancel();
  EXPECT_EQ(run.exitCode, kExitCancelled);
  EXPECT_FALSE(orv::test::Exists(folder_ / ORV_T("points\\1")));
  // A drive that is not a letter, and a missing option.
  EXPECT_EQ(RunVantrel(folder_, {"recovery", "create", "--db", Native(database_), "--last",
                                 points + "/0", "--target", points + "/1", "--drive", "CC=/x"})
                .exitCode,
            kExitUsage);
  EXPECT_EQ(RunVantrel(folder_, {"recovery", "create", "--db", Native(database_)}).exitCode,
            kExitUsage);
}

}  // namespace
}  // namespace vantrel_cli
