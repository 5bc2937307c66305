// Merges of real differential sets of a volume mapped to a drive letter: the merged
// chain restores to the same tree as the chain it replaced, whether the merge ran
// through or was killed at any point and settled by the next one.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "archive/archive_support.h"
#include "diffsets/image_ex.h"
#include "diffsets/merge_switch.h"
#include "fsutil/delete_tree.h"
#include "image/catalogue_desc.h"
#include "image/catalogue_xml.h"
#include "image/image.h"
#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/volume.h"
#include "services/format.h"
#include "services/text_file.h"
#include "support/temp_folder.h"
#include "tools/command_run.h"

extern char** environ;

namespace orv::test {
namespace {

class MergeChainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(os::CreateDirectory(volume_), 0u);
    ASSERT_EQ(os::SetDriveFolder('M', Native(volume_)), 0u);
  }
  void TearDown() override { os::SetDriveFolder('M', ORV_T("")); }

  static WString Native(WString path) {
    for (Char& c : path)
      if (c == '\\') c = '/';
    return path;
  }

  // Takes the next set of the volume against the previous one (or the base image).
  void TakeSet(const WString& description) {
    const WString reference = sets_.empty() ? base_ : sets_.back();
    const WString target = Format(ORV_T("%s\\USERDIFF.%d"), setsFolder_, static_cast<int>(sets_.size()));
    DIFFIMAGEDATA record{};
    record.wDriveLetter = 'M';
    record.m_dwINPVersion = 5;
    record.dwSplitSizeMB = 650;
    record.pstrReferenceDir = reference.c_str();
    record.pstrTargetDir = target.c_str();
    record.pstrDescription = description.c_str();
    COrvImage image;
    ASSERT_TRUE(image.CreateDifferentialImage(&record)) << image.GetLastErrorCode();
    sets_.push_back(target);
  }

  std::map<WString, std::string> Restored(int last, const WString& name) {
    const WString target = folder_ / name;
    COrvImage image;
    EXPECT_TRUE(image.RestoreDifferentialImage(base_.c_str(), setsFolder_.c_str(), last,
                                               target.c_str(), nullptr))
        << image.GetLastErrorCode();
    return TreeOf(target);
  }

  // The base image: the whole volume, against no reference.
  void TakeBase() {
    COrvImage image;
    DIFFIMAGEDATA record{};
    record.wDriveLetter = 'M';
    record.m_dwINPVersion = 5;
    record.dwSplitSizeMB = 650;
    const WString none = folder_ / ORV_T("no-reference");
    record.pstrReferenceDir = none.c_str();
    record.pstrTargetDir = base_.c_str();
    ASSERT_TRUE(image.CreateDifferentialImage(&record)) << image.GetLastErrorCode();
  }

  // Seven sets of changes: edits, additions, deletions of files and folders, a file
  // made in one set and deleted in a later one, a folder deleted and made again.
  void TakeSevenSets() {
    ASSERT_EQ(os::CreateDirectoryTree(volume_ + ORV_T("\\a\\b")), 0u);
    ASSERT_EQ(os::CreateDirectoryTree(volume_ + ORV_T("\\gone\\inner")), 0u);
    WriteFile(volume_ + ORV_T("\\a\\b\\edit.txt"), "0");
    WriteFile(volume_ + ORV_T("\\a\\keep.txt"), "keep");
    WriteFile(volume_ + ORV_T("\\a\\Base-Deleted.txt"), "from the base");
    WriteFile(volume_ + ORV_T("\\gone\\inner\\g.txt"), "g");
    TakeBase();

    WriteFile(volume_ + ORV_T("\\a\\b\\edit.txt"), "1");
    TakeSet(ORV_T("set 0"));
    WriteFile(volume_ + ORV_T("\\a\\new.txt"), "made in set 1");
    TakeSet(ORV_T("set 1"));
    WriteFile(volume_ + ORV_T("\\a\\b\\edit.txt"), "22");
    WriteFile(volume_ + ORV_T("\\a\\short-lived.txt"), "made in set 2");
    ASSERT_EQ(os::CreateDirectoryTree(volume_ + ORV_T("\\c\\d")), 0u);
    WriteFile(volume_ + ORV_T("\\c\\d\\deep.txt"), "deep");
    TakeSet(ORV_T("set 2, the first merged"));
    WriteFile(volume_ + ORV_T("\\a\\b\\edit.txt"), "333");
    ASSERT_EQ(os::DeleteFile(volume_ + ORV_T("\\a\\short-lived.txt")), 0u);
    ASSERT_EQ(os::DeleteFile(volume_ + ORV_T("\\a\\Base-Deleted.txt")), 0u);
    ASSERT_EQ(DeleteTree(volume_ + ORV_T("\\gone")), 0u);
    TakeSet(ORV_T("set 3"));
    ASSERT_EQ(os::CreateDirectoryTree(volume_ + ORV_T("\\gone")), 0u);
    WriteFile(volume_ + ORV_T("\\gone\\again.txt"), "back in set 4");
    WriteFile(volume_ + ORV_T("\\c\\d\\deep.txt"), "deeper");
    TakeSet(ORV_T("set 4, the last merged"));
    WriteFile(volume_ + ORV_T("\\a\\after.txt"), "set 5");
    TakeSet(ORV_T("set 5"));
    ASSERT_EQ(os::DeleteFile(volume_ + ORV_T("\\a\\new.txt")), 0u);
    WriteFile(volume_ + ORV_T("\\a\\b\\edit.txt"), "6666");
    TakeSet(ORV_T("set 6"));
  }

  TempFolder folder_;
  WString volume_ = folder_ / ORV_T("volume");
  WString base_ = folder_ / ORV_T("base");
  WString setsFolder_ = folder_ / ORV_T("sets");
  std::vector<WString> sets_;
};

TEST_F(MergeChainTest, MergedChainRestoresAsTheChainItReplaced) {
  TakeSevenSets();
  if (HasFatalFailure()) return;
  const std::map<WString, std::string> final = Restored(6, ORV_T("before"));
  const std::map<WString, std::string> atSet4 = Restored(4, ORV_T("before-at-4"));
  ASSERT_EQ(final, TreeOf(volume_));

  COrvImageEx merger;
  ASSERT_TRUE(merger.MergeDifferentialSets(setsFolder_.c_str(), 2, 4, nullptr))
      << merger.GetLastErrorCode();
  EXPECT_EQ(merger.GetLastErrorCode(), 0u);

  // Sets 0, 1, the merged 2, and 5 and 6 as 3 and 4; nothing else is left beside them.
  std::vector<WString> names = FolderNames(setsFolder_);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<WString>{ORV_T("USERDIFF.0"), ORV_T("USERDIFF.1"), ORV_T("USERDIFF.2"),
                                         ORV_T("USERDIFF.3"), ORV_T("USERDIFF.4")}));
  EXPECT_EQ(ReadDescriptionText(setsFolder_ + ORV_T("\\USERDIFF.2\\DESC.TXT")),
            ORV_T("set 2, the first merged"));
  EXPECT_EQ(ReadDescriptionText(setsFolder_ + ORV_T("\\USERDIFF.3\\DESC.TXT")), ORV_T("set 5"));
  EXPECT_EQ(ReadDescriptionText(setsFolder_ + ORV_T("\\USERDIFF.4\\DESC.TXT")), ORV_T("set 6"));

  // The merged set holds each file once, in its newest copy.
  COrvMorlet merged;
  ASSERT_TRUE(merged.Open((setsFolder_ + ORV_T("\\USERDIFF.2\\BASE.INP")).c_str(), 1, 5));
  std::vector<WString> entries = EntryNames(merged);
  merged.Close();
  EXPECT_EQ(std::count(entries.begin(), entries.end(), WString(ORV_T("a\\b\\edit.txt"))), 1);
  EXPECT_EQ(std::count(entries.begin(), entries.end(), WString(ORV_T("a\\short-lived.txt"))), 0);

  EXPECT_EQ(Restored(2, ORV_T("after-at-2")), atSet4);
  EXPECT_EQ(Restored(4, ORV_T("after")), final);
}

// A set of more than 100 MiB is stored in two archives; the merge reads both.
TEST_F(MergeChainTest, SetsOfSeveralArchivesMergeWhole) {
  TakeBase();
  if (HasFatalFailure()) return;
  std::string big(60u << 20, '\0');
  for (size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>(i >> 12);
  ASSERT_EQ(os::CreateDirectory(volume_ + ORV_T("\\big")), 0u);
  WriteFile(volume_ + ORV_T("\\big\\a.bin"), big);
  big[1] = 'x';
  WriteFile(volume_ + ORV_T("\\big\\b.bin"), big);
  ASSERT_EQ(os::CreateDirectory(volume_ + ORV_T("\\c")), 0u);
  WriteFile(volume_ + ORV_T("\\c\\small.txt"), "after the big ones");
  TakeSet(ORV_T("two archives"));
  if (HasFatalFailure()) return;
  BaseCatalogue catalogue;
  ASSERT_EQ(ReadBaseCatalogue(sets_[0] + ORV_T("\\BASE.XML"), catalogue), 0u);
  EXPECT_EQ(catalogue.files, (std::vector<WString>{ORV_T("BASE.INP"), ORV_T("BASE_01.INP")}));
  WriteFile(volume_ + ORV_T("\\c\\small.txt"), "changed");
  ASSERT_EQ(os::DeleteFile(volume_ + ORV_T("\\big\\a.bin")), 0u);
  ASSERT_EQ(os::CreateDirectory(volume_ + ORV_T("\\d")), 0u);
  WriteFile(volume_ + ORV_T("\\d\\new.txt"), "new");
  TakeSet(ORV_T("after"));
  if (HasFatalFailure()) return;
  const std::map<WString, std::string> final = Restored(1, ORV_T("before"));
  ASSERT_EQ(final, TreeOf(volume_));

  COrvImageEx merger;
  ASSERT_TRUE(merger.MergeDifferentialSets(setsFolder_.c_str(), 0, 1, nullptr))
      << merger.GetLastErrorCode();
  EXPECT_EQ(Restored(0, ORV_T("after")), final);
}

TEST_F(MergeChainTest, AFailedCopyLeavesTheSetsAsTheyWere) {
  TakeSevenSets();
  if (HasFatalFailure()) return;
  const std::map<WString, std::string> final = Restored(6, ORV_T("before"));
  // Set 3's archive loses its last bytes: a block cannot be read back.
  const WString damaged = setsFolder_ + ORV_T("\\USERDIFF.4\\BASE.INP");
  const std::string content = ReadFile(damaged);
  ASSERT_GT(content.size(), 64u);
  WriteFile(damaged, content.substr(0, content.size() - 8));
  const std::map<WString, std::string> sets = TreeOf(setsFolder_);

  COrvImageEx merger;
  EXPECT_FALSE(merger.MergeDifferentialSets(setsFolder_.c_str(), 2, 4, nullptr));
  EXPECT_NE(merger.GetLastErrorCode(), 0u);
  EXPECT_EQ(TreeOf(setsFolder_), sets);
}

// The merge runs as a program and is killed after a growing delay; whatever point it
// reached, the next merge's recovery leaves a chain that restores to the same tree.
TEST_F(MergeChainTest, AMergeKilledAtAnyPointIsSettledByTheNextOne) {
  TakeSevenSets();
  if (HasFatalFailure()) return;
  const std::map<WString, std::string> final = Restored(6, ORV_T("expected"));
  const WString pristine = folder_ / ORV_T("pristine");
  ASSERT_EQ(os::MoveFile(setsFolder_, pristine, false), 0u);
  const std::string program = [] {
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string path(self, length > 0 ? static_cast<size_t>(length) : 0);
    return path.substr(0, path.find_last_of('/') + 1) + "vantrel";
  }();
  // One run unhindered tells how long a merge takes; the killed runs spread over it. A
  // busy machine slows the killed runs down, so the delay keeps doubling past that time
  // until one of them finishes as well.
  int completed = 0, interrupted = 0, halfSwitched = 0;
  int duration = 0;
  for (int run = 0; run <= 14 || (completed < 2 && run <= 20); ++run) {
    const int delay = run == 0   ? 100000
                      : run < 14 ? duration * (run - 1) / 12
                                 : duration << (run - 13);
    ASSERT_EQ(system(("rm -rf '" + os::ToUtf8(Native(setsFolder_)) + "' && cp -a '" +
                      os::ToUtf8(Native(pristine)) + "' '" + os::ToUtf8(Native(setsFolder_)) + "'")
                         .c_str()),
              0);
    std::string sets = os::ToUtf8(Native(setsFolder_));
    std::string quiet = "-q", image = "image", merge = "merge", first = "2", lastMerged = "4";
    char* argv[] = {const_cast<char*>(program.c_str()), quiet.data(), image.data(), merge.data(),
                    sets.data(), first.data(), lastMerged.data(), nullptr};
    pid_t child = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ASSERT_EQ(posix_spawn(&child, program.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    const uint32_t started = os::TickCount();
    int status = 0;
    if (run == 0) {
      waitpid(child, &status, 0);
      duration = static_cast<int>(os::TickCount() - started) * 1000;
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(delay));
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
    }
    (WIFSIGNALED(status) ? interrupted : completed) += 1;

    // Until the merge is settled, a restore of the chain refuses to start.
    if (Exists(setsFolder_ + ORV_T("\\MERGE.TXT"))) {
      ++halfSwitched;
      const vantrel_cli::CommandRun refused = vantrel_cli::RunVantrel(
          folder_, {"image", "restore", os::ToUtf8(Native(base_)), os::ToUtf8(Native(folder_ / ORV_T("x"))),
                    "--differential", sets, "--point", "6"});
      EXPECT_EQ(refused.exitCode, 1);
      EXPECT_NE(refused.errors.find("--recover"), std::string::npos) << refused.errors;
    }
    bool found = false;
    ASSERT_EQ(RecoverMerge(setsFolder_, found), 0u) << "killed after " << delay << " us";
    int last = 6;
    while (last >= 0 && !Exists(Format(ORV_T("%s\\USERDIFF.%d"), setsFolder_, last))) --last;
    EXPECT_TRUE(last == 6 || last == 4) << "killed after " << delay << " us";
    EXPECT_EQ(Restored(last, Format(ORV_T("restored-%d"), run)), final)
        << "killed after " << delay << " us";
  }
  // Both outcomes were seen: some runs were cut short, the slower ones finished.
  EXPECT_GT(interrupted, 0);
  EXPECT_GT(completed, 1);
  std::printf("merge runs killed: %d (%d in the switch), finished: %d\n", interrupted,
              halfSwitched, completed);
}

TEST_F(MergeChainTest, CommandMergesAndRecoversAndNamesItsFailures) {
  TakeSevenSets();
  if (HasFatalFailure()) return;
  const std::map<WString, std::string> final = Restored(6, ORV_T("expected"));
  const std::string sets = os::ToUtf8(Native(setsFolder_));
  using vantrel_cli::RunVantrel;
  vantrel_cli::CommandRun run = RunVantrel(folder_, {"image", "merge", sets, "4", "2"});
  EXPECT_EQ(run.exitCode, vantrel_cli::kExitUsage) << run.errors;
  run = RunVantrel(folder_, {"image", "merge", sets, "5", "9"});
  EXPECT_EQ(run.exitCode, vantrel_cli::kExitFailure);
  EXPECT_NE(run.errors.find("USERDIFF"), std::string::npos) << run.errors;
  run = RunVantrel(folder_, {"-q", "image", "merge", sets, "0", "6"});
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_NE(run.output.find("merged"), std::string::npos);
  EXPECT_EQ(Restored(0, ORV_T("merged-all")), final);
  run = RunVantrel(folder_, {"image", "merge", sets, "--recover"});
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_NE(run.output.find("no interrupted merge"), std::string::npos) << run.output;

  // A merge stopped in its switch (its journal says the renumbering had begun): restore
  // refuses the chain and names the way out; --recover settles it.
  std::vector<uint8_t> journal{0xFF, 0xFE};
  for (const uint8_t byte : Utf16LeBytes(ORV_T("First=0\r\nLast=1\r\nEnd=1\r\nPhase=2\r\n")))
    journal.push_back(byte);
  WriteRaw(setsFolder_ + ORV_T("\\MERGE.TXT"), journal);
  const std::string target = os::ToUtf8(Native(folder_ / ORV_T("refused")));
  run = RunVantrel(folder_, {"image", "restore", os::ToUtf8(Native(base_)), target, "--differential",
                             sets, "--point", "0"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.errors.find("--recover"), std::string::npos) << run.errors;
  run = RunVantrel(folder_, {"image", "merge", sets, "--recover"});
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_NE(run.output.find("settled"), std::string::npos) << run.output;
  EXPECT_EQ(Restored(0, ORV_T("after-recover")), final);
}

}  // namespace
}  // namespace orv::test
