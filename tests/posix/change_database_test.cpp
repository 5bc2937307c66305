// The change database: what the watcher writes is what recovery points read, one row per
// path and kind, in the order the changes happened, and a watcher killed in the middle of
// a transaction leaves the committed rows readable.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/folder.h"
#include "posix/native_path.h"
#include "services/change_database.h"
#include "services/file_monitor.h"
#include "support/temp_folder.h"

namespace orv {
namespace {

using Mode = ChangeDatabase::Mode;

MonitoredChange Change(const char* path, DWORD kind, os::FileTime time, DWORD attributes = 0x20) {
  MonitoredChange change;
  change.path = os::FromUtf8(path);
  change.kind = kind;
  change.attributes = attributes;
  change.time = time;
  return change;
}

void Write(const std::string& file, const std::vector<MonitoredChange>& changes) {
  std::unique_ptr<ChangeDatabase> db;
  ASSERT_EQ(ChangeDatabase::Open(file, Mode::kWrite, db), 0u);
  ASSERT_EQ(db->Begin(), 0u);
  for (const MonitoredChange& change : changes) ASSERT_EQ(db->Record(change), 0u);
  ASSERT_EQ(db->Commit(), 0u);
}

// "path kind attributes time" for every change after `since`, in the order read.
std::vector<std::string> Read(const std::string& file, os::FileTime since = 0) {
  std::unique_ptr<ChangeDatabase> db;
  EXPECT_EQ(ChangeDatabase::Open(file, Mode::kRead, db), 0u);
  if (!db) return {};
  std::vector<std::string> rows;
  EXPECT_EQ(db->Start(since), 0u);
  MonitoredChange change;
  DWORD error;
  while ((error = db->Next(change)) == 0)
    rows.push_back(os::ToUtf8(change.path) + " " + std::to_string(change.kind) + " " +
                   std::to_string(change.attributes) + " " + std::to_string(change.time));
  EXPECT_EQ(error, err::kNoMoreFiles);
  return rows;
}

class ChangeDatabaseTest : public ::testing::Test {
 protected:
  std::string File(const char* name = "changes.db") const { return test::Native(folder_ / os::FromUtf8(name)); }
  test::TempFolder folder_;
};

TEST_F(ChangeDatabaseTest, KeepsOneRowPerPathAndKindAndReadsInTimeOrder) {
  Write(File(), {Change("C:\\a.txt", 1, 300), Change("C:\\b.txt", 0, 200), Change("C:\\a.txt", 1, 500, 0x21),
                 Change("C:\\a.txt", 2, 400, 0x80), Change("c:\\A.TXT", 1, 100)});
  EXPECT_EQ(Read(File()), (std::vector<std::string>{"c:\\A.TXT 1 32 100", "C:\\b.txt 0 32 200",
                                                    "C:\\a.txt 2 128 400", "C:\\a.txt 1 33 500"}));
  // Only what happened after the time asked for; the same time counts as before.
  EXPECT_EQ(Read(File(), 400), (std::vector<std::string>{"C:\\a.txt 1 33 500"}));
}

TEST_F(ChangeDatabaseTest, KeepsNamesAsTheyAreAndGoesOnAfterAReopen) {
  const std::string odd = "C:\\new\nline \"quoted\" 'single' \xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80.txt";
  Write(File(), {Change(odd.c_str(), 0, 10)});
  Write(File(), {Change("C:\\later", 3, 20, 0x10)});
  EXPECT_EQ(Read(File()), (std::vector<std::string>{odd + " 0 32 10", "C:\\later 3 16 20"}));
}

TEST_F(ChangeDatabaseTest, ReadingSaysWhyThereIsNoDatabase) {
  std::unique_ptr<ChangeDatabase> db;
  EXPECT_EQ(ChangeDatabase::Open(File("missing.db"), Mode::kRead, db), err::kFileNotFound);
  EXPECT_EQ(db, nullptr);
  test::WriteFile(folder_ / ORV_T("text.db"), "not a database, only some text that is long enough\n");
  EXPECT_EQ(ChangeDatabase::Open(File("text.db"), Mode::kRead, db), err::kInvalidData);
  EXPECT_EQ(db, nullptr);
  // A writer refuses it too, rather than writing into another program's file.
  EXPECT_EQ(ChangeDatabase::Open(File("text.db"), Mode::kWrite, db), err::kInvalidData);
}

TEST_F(ChangeDatabaseTest, NeverOpensTheDatabaseThroughALink) {
  Write(File("real.db"), {Change("C:\\x", 1, 1)});
  ASSERT_EQ(symlink(File("real.db").c_str(), File("link.db").c_str()), 0);
  std::unique_ptr<ChangeDatabase> db;
  EXPECT_EQ(ChangeDatabase::Open(File("link.db"), Mode::kRead, db), os::kStoppedOnLink);
  EXPECT_EQ(ChangeDatabase::Open(File("link.db"), Mode::kWrite, db), os::kStoppedOnLink);
  EXPECT_EQ(Read(File("real.db")), (std::vector<std::string>{"C:\\x 1 32 1"}));
}

// A writer killed between its records and its commit: the reader sees the rows that were
// committed before, and a writer started again goes on adding.
TEST_F(ChangeDatabaseTest, AWriterKilledInATransactionLeavesTheCommittedRows) {
  Write(File(), {Change("C:\\kept", 1, 1)});
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::unique_ptr<ChangeDatabase> db;
    if (ChangeDatabase::Open(File(), Mode::kWrite, db) != 0 || db->Begin() != 0) _exit(1);
    for (int i = 0; i < 60000; ++i)
      db->Record(Change(("C:\\lost\\" + std::string(100, 'x') + std::to_string(i)).c_str(), 1, 2));
    kill(getpid(), SIGKILL);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(Read(File()), (std::vector<std::string>{"C:\\kept 1 32 1"}));
  Write(File(), {Change("C:\\next", 0, 3)});
  EXPECT_EQ(Read(File()), (std::vector<std::string>{"C:\\kept 1 32 1", "C:\\next 0 32 3"}));
}

}  // namespace
}  // namespace orv
