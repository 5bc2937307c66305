// Differential images of a volume mapped to a drive letter: what a set stores and lists
// as deleted, and a chain of sets restored to the state of its last one.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "archive/archive_support.h"
#include "image/catalogue_xml.h"
#include "image/image.h"
#include "platform/volume.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

BOOL ORV_CALLBACK CancelAtProgress(ORVVALUE message, ORVVALUE, ORVVALUE, ORVVALUE) {
  return message == 104 ? FALSE : (message == 403 ? FALSE : TRUE);
}

class DifferentialTest : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_EQ(os::CreateDirectory(volume_), 0u);
    WString native = volume_;
    for (Char& c : native)
      if (c == '\\') c = '/';
    ASSERT_EQ(os::SetDriveFolder('V', native), 0u);
  }
  void TearDown() override { os::SetDriveFolder('V', ORV_T("")); }

  BOOL Differential(const WString& reference, const WString& target, ORVDCALLBACK callback = nullptr,
                    DWORD kind = 5) {
    DIFFIMAGEDATA record{};
    record.wDriveLetter = 'V';
    record.m_dwINPVersion = kind;
    record.dwSplitSizeMB = split_;
    record.pstrReferenceDir = reference.c_str();
    record.pstrTargetDir = target.c_str();
    record.pstrDescription = ORV_T("test set");
    record.pCallBack = callback;
    const BOOL done = image_.CreateDifferentialImage(&record);
    error_ = image_.GetLastErrorCode();
    return done;
  }

  TempFolder folder_;
  WString volume_ = folder_ / ORV_T("volume");
  COrvImage image_;
  DWORD error_ = 0;
  DWORD split_ = 650;
};

TEST_F(DifferentialTest, SetsStoreChangesAndDeletionsAndRestoreToTheLastState) {
  ASSERT_EQ(os::CreateDirectoryTree(volume_ + ORV_T("\\docs\\deep")), 0u);
  ASSERT_EQ(os::CreateDirectory(volume_ + ORV_T("\\old")), 0u);
  ASSERT_EQ(os::CreateDirectory(volume_ + ORV_T("\\empty")), 0u);
  WriteFile(volume_ + ORV_T("\\docs\\deep\\keep.txt"), "keep");
  WriteFile(volume_ + ORV_T("\\docs\\deep\\change.txt"), "before");
  WriteFile(volume_ + ORV_T("\\docs\\gone.txt"), "gone");
  WriteFile(volume_ + ORV_T("\\old\\x.txt"), "x");
  WriteFile(volume_ + ORV_T("\\root-gone.txt"), "root");
  // The reference: a full image of the volume.
  const WString base = folder_ / ORV_T("base");
  const WString sets = folder_ / ORV_T("sets");
  ASSERT_TRUE(Differential(folder_ / ORV_T("no-reference"), base)) << error_;

  WriteFile(volume_ + ORV_T("\\docs\\deep\\change.txt"), "after, longer");
  ASSERT_EQ(os::DeleteFile(volume_ + ORV_T("\\docs\\gone.txt")), 0u);
  ASSERT_EQ(os::DeleteFile(volume_ + ORV_T("\\root-gone.txt")), 0u);
  ASSERT_EQ(os::DeleteFile(volume_ + ORV_T("\\old\\x.txt")), 0u);
  ASSERT_EQ(os::RemoveDirectory(volume_ + ORV_T("\\old")), 0u);
  ASSERT_EQ(os::CreateDirectoryTree(volume_ + ORV_T("\\new\\inner")), 0u);
  WriteFile(volume_ + ORV_T("\\new\\inner\\n.txt"), "new");
  const WString set0 = sets + ORV_T("\\USERDIFF.0");
  ASSERT_TRUE(Differential(base, set0)) << error_;

  // The set holds the changed file with its two parent folders, and the new tree (not
  // the unchanged empty folder).
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open((set0 + ORV_T("\\BASE.INP")).c_str(), 1, 5));
  std::vector<WString> names = EntryNames(archive);
  archive.Close();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<WString>{ORV_T("docs"), ORV_T("docs\\deep"), ORV_T("docs\\deep\\change.txt"),
                                         ORV_T("new"), ORV_T("new\\inner"), ORV_T("new\\inner\\n.txt")}));
  std::vector<DeletedEntry> deleted;
  ASSERT_EQ(ReadDeletionList(set0 + ORV_T("\\DEL.XML"), deleted), 0u);
  std::vector<WString> deletedNames;
  for (const DeletedEntry& entry : deleted) deletedNames.push_back(entry.path);
  std::sort(deletedNames.begin(), deletedNames.end());
  // Entries at the root are never listed.
  EXPECT_EQ(deletedNames, (std::vector<WString>{ORV_T("docs\\gone.txt"), ORV_T("old\\x.txt")}));

  // A cancel during the scan leaves no half set.
  const WString cancelled = sets + ORV_T("\\cancelled");
  EXPECT_FALSE(Differential(set0, cancelled, CancelAtProgress));
  EXPECT_EQ(error_, ORV_ERROR_CANCELLED);
  EXPECT_FALSE(Exists(cancelled)) << ::testing::PrintToString(FolderNames(cancelled));

  // A set with no change stores nothing.
  const WString set1 = sets + ORV_T("\\USERDIFF.1");
  ASSERT_TRUE(Differential(set0, set1)) << error_;
  ASSERT_TRUE(archive.Open((set1 + ORV_T("\\BASE.INP")).c_str(), 1, 5));
  EXPECT_TRUE(EntryNames(archive).empty());
  archive.Close();

  // The chain comes back in the state of the last set (the root file and the folder
  // "old", which the deletion list leaves out, stay).
  const WString restored = folder_ / ORV_T("restored");
  ASSERT_TRUE(image_.RestoreDifferentialImage(base.c_str(), sets.c_str(), 1, restored.c_str(), nullptr))
      << image_.GetLastErrorCode();
  std::map<WString, std::string> expected = TreeOf(volume_);
  expected[ORV_T("root-gone.txt")] = "root";
  expected[ORV_T("old")] = "<dir>";
  EXPECT_EQ(TreeOf(restored), expected);
}

// Kinds 3 and 4 keep a set in a new mounted image (a sector image formatted with NTFS, a
// WIM image), with DATA.INP beside it; the chain restores as with archives.
void ExpectMountedSetRestores(DifferentialTest& test, DWORD kind, const WString& imageName) {
  const WString& volume = test.volume_;
  ASSERT_EQ(os::CreateDirectoryTree(volume + ORV_T("\\docs\\deep")), 0u);
  WriteFile(volume + ORV_T("\\docs\\deep\\change.txt"), "before");
  WriteFile(volume + ORV_T("\\docs\\gone.txt"), "gone");
  const WString base = test.folder_ / ORV_T("base");
  const WString sets = test.folder_ / ORV_T("sets");
  ASSERT_TRUE(test.Differential(test.folder_ / ORV_T("no-reference"), base)) << test.error_;

  WriteFile(volume + ORV_T("\\docs\\deep\\change.txt"), "after, longer");
  ASSERT_EQ(os::DeleteFile(volume + ORV_T("\\docs\\gone.txt")), 0u);
  ASSERT_EQ(os::CreateDirectoryTree(volume + ORV_T("\\new\\inner")), 0u);
  WriteFile(volume + ORV_T("\\new\\inner\\n.txt"), "new");
  const WString set0 = sets + ORV_T("\\USERDIFF.0");
  if (!test.Differential(base, set0, nullptr, kind)) {
    if (test.error_ == 15) GTEST_SKIP() << "this machine cannot mount a new image of kind " << kind;
    FAIL() << test.error_;
  }
  BaseCatalogue catalogue;
  ASSERT_EQ(ReadBaseCatalogue(set0 + ORV_T("\\BASE.XML"), catalogue), 0u);
  EXPECT_EQ(catalogue.files, (std::vector<WString>{imageName, ORV_T("DATA.INP")}));

  const WString restored = test.folder_ / ORV_T("restored");
  ASSERT_TRUE(test.image_.RestoreDifferentialImage(base.c_str(), sets.c_str(), 0, restored.c_str(),
                                                   nullptr))
      << test.image_.GetLastErrorCode();
  std::map<WString, std::string> expected = TreeOf(volume);
  // The WIM mount's work folders stay on the volume, left out of every image.
  for (auto entry = expected.begin(); entry != expected.end();)
    entry = entry->first.rfind(ORV_T("System Recovery"), 0) == 0 ? expected.erase(entry) : std::next(entry);
  std::map<WString, std::string> got = TreeOf(restored);
  // A restored NTFS volume brings its own system folder along.
  for (auto entry = got.begin(); entry != got.end();)
    entry = entry->first.rfind(ORV_T("System Volume Information"), 0) == 0 ? got.erase(entry) : std::next(entry);
  EXPECT_EQ(got, expected);
}

TEST_F(DifferentialTest, SetsInAMountedWimImageRestoreToTheLastState) {
  if (!WimEngineLoaded()) GTEST_SKIP() << "no WIM engine";
  ExpectMountedSetRestores(*this, 4, ORV_T("BASE.WIM"));
}

TEST_F(DifferentialTest, SetsInASectorImageRestoreToTheLastState) {
  split_ = 64;
  ExpectMountedSetRestores(*this, 3, ORV_T("BASE.INP"));
}

TEST_F(DifferentialTest, ASectorSetWithoutASplitSizeIsRefusedBeforeAnythingIsWritten) {
  split_ = 0;
  const WString target = folder_ / ORV_T("set");
  EXPECT_FALSE(Differential(folder_ / ORV_T("no-reference"), target, nullptr, 3));
  EXPECT_EQ(error_, 87u);
  EXPECT_FALSE(Exists(target));
}

}  // namespace
}  // namespace orv::test
