// The merge of differential sets on hand-made sets: what the table keeps, the numbers
// the sets end with, the questions asked, and a merge stopped between its renames.
#include <gtest/gtest.h>

#include <map>

#include "archive/archive_support.h"
#include "diffsets/image_ex.h"
#include "diffsets/merge_switch.h"
#include "diffsets/merge_table.h"
#include "fsutil/delete_tree.h"
#include "image/catalogue_desc.h"
#include "image/catalogue_xml.h"
#include "platform/encoding.h"
#include "services/format.h"
#include "services/text_file.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

std::map<WString, std::string> Summary(const MergeTable& table) {
  std::map<WString, std::string> summary;
  for (const auto& [name, entry] : table.entries())
    summary[name.str()] = entry.deleted ? (entry.directory ? "deleted folder" : "deleted")
                                        : os::ToUtf8(table.archives()[entry.archive]);
  return summary;
}

TEST(MergeTable, KeepsTheNewestWordOnEveryPath) {
  MergeTable table;
  table.AddCapture(ORV_T("a\\x.txt"), ORV_T("set2"));
  table.AddCapture(ORV_T("a\\gone.txt"), ORV_T("set2"));
  table.AddCapture(ORV_T("A\\X.TXT"), ORV_T("set3"));  // one entry whatever the case
  table.ApplyDeletion(ORV_T("a\\gone.txt"), false, nullptr);  // captured, then deleted
  table.ApplyDeletion(ORV_T("base-only.txt"), false, nullptr);
  table.ApplyDeletion(ORV_T("old"), true, nullptr);
  table.ApplyDeletion(ORV_T("back.txt"), false, nullptr);
  table.AddCapture(ORV_T("back.txt"), ORV_T("set4"));     // deleted, then made again
  table.AddCapture(ORV_T("old\\new.txt"), ORV_T("set4"));  // under a deleted folder
  EXPECT_EQ(Summary(table), (std::map<WString, std::string>{
                                {ORV_T("a\\x.txt"), "set3"},
                                {ORV_T("a\\gone.txt"), "deleted"},
                                {ORV_T("base-only.txt"), "deleted"},
                                {ORV_T("back.txt"), "set4"},
                                {ORV_T("old\\new.txt"), "set4"},
                            }));
}

TEST(MergeTable, TheCallerMayKeepAFileALaterSetDeleted) {
  MergeTable table;
  table.AddCapture(ORV_T("kept.txt"), ORV_T("set2"));
  table.AddCapture(ORV_T("dropped.txt"), ORV_T("set2"));
  std::vector<WString> asked;
  const MergeTable::KeepDeleted keep = [&](const WString& name) {
    asked.push_back(name);
    return name == ORV_T("kept.txt");
  };
  table.ApplyDeletion(ORV_T("kept.txt"), false, keep);
  table.ApplyDeletion(ORV_T("dropped.txt"), false, keep);
  table.ApplyDeletion(ORV_T("never-captured.txt"), false, keep);  // nothing to ask
  table.ApplyDeletion(ORV_T("dropped.txt"), false, keep);         // already deleted
  EXPECT_EQ(asked, (std::vector<WString>{ORV_T("kept.txt"), ORV_T("dropped.txt")}));
  EXPECT_EQ(Summary(table)[ORV_T("kept.txt")], "set2");
  EXPECT_EQ(Summary(table)[ORV_T("dropped.txt")], "deleted");
}

class MergeTest : public ::testing::Test {
 protected:
  // A set with one archive holding `files` (name -> content) and a deletion list.
  void MakeSet(int number, const std::map<WString, std::string>& files,
               const std::vector<WString>& deletions = {}) {
    const WString set = Format(ORV_T("%s\\USERDIFF.%d"), sets_, number);
    ASSERT_EQ(os::CreateDirectoryTree(set), 0u);
    COrvMorlet archive;
    ASSERT_TRUE(archive.Open((set + ORV_T("\\BASE.INP")).c_str(), 0, 5));
    for (const auto& [name, content] : files) {
      const WString source = folder_ / ORV_T("source");
      WriteFile(source, content);
      const ORVFILEATTRIBUTEDATA block = BlockWithTimes(os::kAttrArchive, content.size(), kSomeTime);
      ASSERT_TRUE(archive.AddFile(source.c_str(), name.c_str(), nullptr, 0, &block))
          << archive.GetLastErrorCode();
    }
    ASSERT_TRUE(archive.Close());
    CatalogueDocument base = OpenCatalogueDocument(set + ORV_T("\\BASE.XML"), ORV_T("image"));
    os::CalendarTime date;
    date.year = static_cast<uint16_t>(2020 + number);
    date.month = date.day = 1;
    ASSERT_EQ(FinishDifferentialBaseCatalogue(base, 0, 0, date, {ORV_T("BASE.INP")}), 0u);
    CatalogueDocument deleted = OpenCatalogueDocument(set + ORV_T("\\DEL.XML"), ORV_T("del"));
    for (const WString& path : deletions) WriteDeletedEntry(deleted, path, false);
    ASSERT_EQ(deleted.Save(), 0u);
    DescriptionFile description;
    ASSERT_EQ(description.Open(set + ORV_T("\\DESC.TXT")), 0u);
    ASSERT_EQ(description.Write(Format(ORV_T("set %d"), number), date, 0, 0), 0u);
    ASSERT_EQ(description.Close(), 0u);
  }

  std::map<WString, std::string> Contents(int number) {
    std::map<WString, std::string> contents;
    COrvMorlet archive;
    const WString set = Format(ORV_T("%s\\USERDIFF.%d"), sets_, number);
    EXPECT_TRUE(archive.Open((set + ORV_T("\\BASE.INP")).c_str(), 1, 5));
    const WString out = folder_ / Format(ORV_T("out-%d"), number);
    EXPECT_EQ(os::CreateDirectoryTree(out), 0u);
    for (const WString& name : EntryNames(archive)) {
      EXPECT_TRUE(archive.ExtractFile(name.c_str(), out.c_str())) << archive.GetLastErrorCode();
      contents[name] = ReadFile(out + ORV_T("\\") + name);
    }
    archive.Close();
    return contents;
  }

  TempFolder folder_;
  WString sets_ = folder_ / ORV_T("sets");
};

struct Recorded {
  std::vector<DWORD> messages;
  std::vector<WString> asked;
};
Recorded g_recorded;

BOOL ORV_CALLBACK Record(ORVVALUE message, ORVVALUE, ORVVALUE, ORVVALUE fourth) {
  g_recorded.messages.push_back(static_cast<DWORD>(message));
  if (message == 420) g_recorded.asked.emplace_back(reinterpret_cast<const Char*>(fourth));
  return message == 420 ? FALSE : TRUE;
}

TEST_F(MergeTest, MergesARunAndRenumbersTheSetsAfterIt) {
  MakeSet(0, {{ORV_T("zero.txt"), "0"}});
  MakeSet(1, {{ORV_T("f.txt"), "one"}, {ORV_T("temp.txt"), "t"}});
  MakeSet(2, {{ORV_T("F.TXT"), "two"}}, {ORV_T("temp.txt"), ORV_T("from-base.txt")});
  MakeSet(3, {{ORV_T("three.txt"), "3"}});
  if (HasFatalFailure()) return;

  g_recorded = {};
  COrvImageEx merger;
  ASSERT_TRUE(merger.MergeDifferentialSets(sets_.c_str(), 1, 2, Record)) << merger.GetLastErrorCode();
  std::vector<WString> names = FolderNames(sets_);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<WString>{ORV_T("USERDIFF.0"), ORV_T("USERDIFF.1"), ORV_T("USERDIFF.2")}));
  EXPECT_EQ(Contents(1), (std::map<WString, std::string>{{ORV_T("F.TXT"), "two"}}));
  EXPECT_EQ(Contents(2), (std::map<WString, std::string>{{ORV_T("three.txt"), "3"}}));
  // The file captured by set 1 and deleted by set 2 was asked about, and the deletion
  // kept, so that no older copy comes back.
  EXPECT_EQ(g_recorded.asked, (std::vector<WString>{ORV_T("temp.txt")}));
  std::vector<DeletedEntry> deleted;
  ASSERT_EQ(ReadDeletionList(sets_ + ORV_T("\\USERDIFF.1\\DEL.XML"), deleted), 0u);
  ASSERT_EQ(deleted.size(), 2u);
  EXPECT_EQ(deleted[0].path, ORV_T("from-base.txt"));
  EXPECT_EQ(deleted[1].path, ORV_T("temp.txt"));
  EXPECT_EQ(ReadDescriptionText(sets_ + ORV_T("\\USERDIFF.1\\DESC.TXT")), ORV_T("set 1"));
  EXPECT_EQ(ReadCatalogueDate(sets_ + ORV_T("\\USERDIFF.1\\BASE.XML")).year, 2021);
  // The questions come while the sets are read, then the total, then the progress.
  const auto& messages = g_recorded.messages;
  const auto total = std::find(messages.begin(), messages.end(), 409u);
  ASSERT_NE(total, messages.end());
  EXPECT_EQ(std::count(messages.begin(), total, 420u), total - messages.begin());
  EXPECT_EQ(std::count(total, messages.end(), 110u), 1 + 3);  // from 0, then per entry
}

TEST_F(MergeTest, RefusesWhatItCannotMergeWithoutTouchingTheSets) {
  MakeSet(0, {{ORV_T("a.txt"), "a"}});
  MakeSet(1, {{ORV_T("b.txt"), "b"}});
  if (HasFatalFailure()) return;
  const std::map<WString, std::string> before = TreeOf(sets_);
  COrvImageEx merger;
  EXPECT_FALSE(merger.MergeDifferentialSets(sets_.c_str(), 1, 1, nullptr));
  EXPECT_EQ(merger.GetLastErrorCode(), 87u);
  EXPECT_FALSE(merger.MergeDifferentialSets(sets_.c_str(), 0, 2, nullptr));  // no set 2
  EXPECT_EQ(merger.GetLastErrorCode(), 3u);
  EXPECT_EQ(TreeOf(sets_), before);

  // A set whose catalogue names a WIM image: its content cannot be copied, so the merge
  // refuses rather than lose it.
  WriteFile(sets_ + ORV_T("\\USERDIFF.1\\IMAGE.WIM"), "wim");
  CatalogueDocument base = OpenCatalogueDocument(sets_ + ORV_T("\\USERDIFF.1\\BASE.XML"), ORV_T("image"));
  ASSERT_EQ(FinishBaseCatalogue(base, 0, {ORV_T("IMAGE.WIM")}), 0u);
  const std::map<WString, std::string> withWim = TreeOf(sets_);
  EXPECT_FALSE(merger.MergeDifferentialSets(sets_.c_str(), 0, 1, nullptr));
  EXPECT_EQ(merger.GetLastErrorCode(), 50u);
  EXPECT_EQ(TreeOf(sets_), withWim);
}

// A callback in the system's convention that cancels at the first question (404).
BOOL ORV_CALLBACK CancelAtFirstQuestion(ORVVALUE message, ORVVALUE, ORVVALUE, ORVVALUE) {
  return message == 404 ? FALSE : TRUE;
}

TEST_F(MergeTest, CancelLeavesTheSetsAsTheyWere) {
  MakeSet(0, {{ORV_T("a.txt"), "a"}});
  MakeSet(1, {{ORV_T("b.txt"), "b"}});
  if (HasFatalFailure()) return;
  const std::map<WString, std::string> before = TreeOf(sets_);
  COrvImageEx merger;
  EXPECT_FALSE(merger.MergeDifferentialSets(sets_.c_str(), 0, 1, CancelAtFirstQuestion));
  EXPECT_EQ(merger.GetLastErrorCode(), ORV_ERROR_CANCELLED);
  EXPECT_EQ(TreeOf(sets_), before);
}

void WriteJournal(const WString& sets, const char* text) {
  std::vector<uint8_t> bytes{0xFF, 0xFE};
  const std::vector<uint8_t> body = Utf16LeBytes(os::FromUtf8(text));
  bytes.insert(bytes.end(), body.begin(), body.end());
  ASSERT_EQ(ReplaceFileContent(sets + ORV_T("\\MERGE.TXT"), bytes), 0u);
}

// The states a merge of sets 1 and 2 of 0..4 can be stopped in, each settled by the
// recovery to the same numbered sets.
TEST_F(MergeTest, RecoveryFinishesOrUndoesAStoppedMerge) {
  const auto expectSettled = [&](const std::vector<std::string>& descriptions) {
    bool found = false;
    ASSERT_EQ(RecoverMerge(sets_, found), 0u);
    EXPECT_TRUE(found);
    std::vector<std::string> seen;
    for (const WString& name : FolderNames(sets_)) seen.push_back(os::ToUtf8(name));
    std::sort(seen.begin(), seen.end());
    std::vector<std::string> expected;
    for (size_t n = 0; n < descriptions.size(); ++n) {
      expected.push_back("USERDIFF." + std::to_string(n));
      EXPECT_EQ(os::ToUtf8(ReadDescriptionText(Format(ORV_T("%s\\USERDIFF.%d\\DESC.TXT"), sets_,
                                                      static_cast<int>(n)))),
                descriptions[n]);
    }
    EXPECT_EQ(seen, expected);
  };
  const auto makeFive = [&] {
    for (int n = 0; n <= 4; ++n) MakeSet(n, {{ORV_T("f.txt"), std::to_string(n)}});
  };
  makeFive();
  // Stopped while the new set was being built: it is thrown away.
  ASSERT_EQ(os::CreateDirectory(sets_ + ORV_T("\\TEMP")), 0u);
  WriteFile(sets_ + ORV_T("\\TEMP\\BASE.INP"), "half");
  expectSettled({"set 0", "set 1", "set 2", "set 3", "set 4"});

  // Stopped right after the plan was recorded: carried out whole.
  ASSERT_EQ(os::MoveFile(Format(ORV_T("%s\\USERDIFF.1"), sets_), sets_ + ORV_T("\\TEMP"), false), 0u);
  ASSERT_EQ(os::MoveFile(Format(ORV_T("%s\\USERDIFF.0"), sets_), Format(ORV_T("%s\\USERDIFF.1"), sets_), false), 0u);
  MakeSet(0, {{ORV_T("f.txt"), "0"}});
  WriteJournal(sets_, "First=1\r\nLast=2\r\nEnd=4\r\nPhase=1\r\n");
  expectSettled({"set 0", "set 1", "set 3", "set 4"});

  // Stopped half way through the renumbering: finished.
  ASSERT_EQ(DeleteTree(sets_), 0u);
  makeFive();
  ASSERT_EQ(DeleteTree(Format(ORV_T("%s\\USERDIFF.2"), sets_)), 0u);
  ASSERT_EQ(os::MoveFile(Format(ORV_T("%s\\USERDIFF.3"), sets_), sets_ + ORV_T("\\RENUMBER.2"), false), 0u);
  ASSERT_EQ(os::MoveFile(Format(ORV_T("%s\\USERDIFF.4"), sets_), sets_ + ORV_T("\\RENUMBER.3"), false), 0u);
  ASSERT_EQ(os::MoveFile(sets_ + ORV_T("\\RENUMBER.2"), Format(ORV_T("%s\\USERDIFF.2"), sets_), false), 0u);
  // USERDIFF.1 stands for the merged set here: it is already in place.
  WriteJournal(sets_, "First=1\r\nLast=2\r\nEnd=4\r\nPhase=2\r\n");
  expectSettled({"set 0", "set 1", "set 3", "set 4"});

  // A journal that cannot be read is left alone, and so are the sets.
  WriteJournal(sets_, "First=1\r\nLast=1\r\n");
  bool found = false;
  EXPECT_EQ(RecoverMerge(sets_, found), 13u);
  EXPECT_TRUE(Exists(sets_ + ORV_T("\\MERGE.TXT")));
}

}  // namespace
}  // namespace orv::test
