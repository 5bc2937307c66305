// A folder captured into one image file: the archive of CreateImageFile with its part
// size, the removal of earlier files named like the target, the refused types, the
// count of what the capture will read, and the split that leaves small files alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "archive/archive_support.h"
#include "image/image.h"
#include "platform/file.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

constexpr uint64_t kMiB = 1048576;

std::vector<DWORD> g_progress;
std::vector<WString> g_offered;
WString g_refused;  // the display name the 400 answer refuses

BOOL ORV_CALLBACK Record(ORVVALUE message, ORVVALUE first, ORVVALUE, ORVVALUE fourth) {
  if (message == ORV_MSG_PROGRESS) g_progress.push_back(DWORD(first));
  if (message != ORV_MSG_FILE) return TRUE;
  const WString name(reinterpret_cast<const Char*>(fourth));
  g_offered.push_back(name);
  return name != g_refused;
}

class WimFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_progress.clear();
    g_offered.clear();
    g_refused.clear();
    ASSERT_EQ(os::CreateDirectory(source_), 0u);
    ASSERT_EQ(os::CreateDirectory(source_ + ORV_T("\\docs")), 0u);
    WriteFile(source_ + ORV_T("\\docs\\a.txt"), TextBytes(5000));
    WriteFile(source_ + ORV_T("\\b.bin"), NoiseBytes(70000, 3));
  }

  bool Exists(const WString& path) {
    DWORD attributes = 0;
    return os::GetAttributes(path, attributes) == 0;
  }

  TempFolder folder_;
  WString source_ = folder_ / ORV_T("src");
  COrvImage image_;
};

TEST_F(WimFileTest, ArchiveOfAFolderHoldsItsTreeAndReportsPercentages) {
  const WString target = folder_ / ORV_T("set.inp");
  ASSERT_TRUE(image_.CreateImageFile(source_.c_str(), target.c_str(), 5, 0, 650, FALSE, Record))
      << image_.GetLastErrorCode();
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(target.c_str(), 1, 5));
  std::vector<WString> names = EntryNames(archive);
  archive.Close();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<WString>{ORV_T("b.bin"), ORV_T("docs"), ORV_T("docs\\a.txt")}));
  // A part is 100 MiB smaller than the split size asked for.
  EXPECT_EQ(image_.Capture().archivePartBytes, 550 * kMiB);
  ASSERT_FALSE(g_progress.empty());
  EXPECT_TRUE(std::is_sorted(g_progress.begin(), g_progress.end()));
  EXPECT_EQ(g_progress.back(), 100u);
}

TEST_F(WimFileTest, ArchivePartSizesNeverWrap) {
  const WString target = folder_ / ORV_T("set.inp");
  // 100 MiB or less leaves no room for the margin: no limit rather than a wrapped one.
  ASSERT_TRUE(image_.CreateImageFile(source_.c_str(), target.c_str(), 5, 0, 100, FALSE, nullptr));
  EXPECT_EQ(image_.Capture().archivePartBytes, 0u);
  ASSERT_TRUE(image_.CreateImageFile(source_.c_str(), target.c_str(), 5, 0, 0, FALSE, nullptr));
  EXPECT_EQ(image_.Capture().archivePartBytes, 0u);
  ASSERT_TRUE(image_.CreateImageFile(source_.c_str(), target.c_str(), 5, 0, 5000, FALSE, nullptr));
  EXPECT_EQ(image_.Capture().archivePartBytes, 4900 * kMiB);
}

TEST_F(WimFileTest, EarlierFilesNamedLikeTheTargetGoFirst) {
  const WString archive = folder_ / ORV_T("set.inp");
  // The new archive is small: a seventh part can only be left from an earlier one.
  WriteFile(folder_ / ORV_T("set_0007.inp"), "part of an earlier archive");
  WriteFile(folder_ / ORV_T("settings.inp"), "someone else's file");
  ASSERT_TRUE(image_.CreateImageFile(source_.c_str(), archive.c_str(), 5, 0, 0, FALSE, nullptr));
  EXPECT_FALSE(Exists(folder_ / ORV_T("set_0007.inp")));
  EXPECT_TRUE(Exists(folder_ / ORV_T("settings.inp")));

  // A WIM target: the parts of an earlier split and the whole file a failed split left.
  const WString wim = folder_ / ORV_T("img.wim");
  WriteFile(wim, "old");
  WriteFile(folder_ / ORV_T("img2.wim"), "old part 2");
  WriteFile(folder_ / ORV_T("img3.wim"), "old part 3");
  WriteFile(folder_ / ORV_T("img_O.WIM"), "old whole file");
  WriteFile(folder_ / ORV_T("img_keep.wim"), "someone else's file");
  image_.CreateImageFile(source_.c_str(), wim.c_str(), 4, 2, 0, FALSE, nullptr);  // engine or not
  EXPECT_FALSE(Exists(folder_ / ORV_T("img2.wim")));
  EXPECT_FALSE(Exists(folder_ / ORV_T("img3.wim")));
  EXPECT_FALSE(Exists(folder_ / ORV_T("img_O.WIM")));
  EXPECT_TRUE(Exists(folder_ / ORV_T("img_keep.wim")));
}

TEST_F(WimFileTest, TypesWithoutAFolderCaptureAreRefused) {
  const WString target = folder_ / ORV_T("set.inp");
  for (DWORD type : {0u, 1u, 3u}) {
    EXPECT_FALSE(image_.CreateImageFile(source_.c_str(), target.c_str(), type, 0, 0, FALSE, nullptr));
    EXPECT_EQ(image_.GetLastErrorCode(), ORV_ERROR_NOT_SUPPORTED);
  }
  EXPECT_FALSE(Exists(target));
  EXPECT_FALSE(image_.CreateWIM(nullptr, target.c_str(), 2, 0, FALSE, nullptr));
  EXPECT_EQ(image_.GetLastErrorCode(), ORV_ERROR_ARG1);
  EXPECT_FALSE(image_.CreateWIM(source_.c_str(), ORV_T(""), 2, 0, FALSE, nullptr));
  EXPECT_EQ(image_.GetLastErrorCode(), ORV_ERROR_ARG2);
}

TEST_F(WimFileTest, SplitLeavesFilesUpToTheLimitAlone) {
  const WString file = folder_ / ORV_T("whole.wim");
  WriteFile(file, std::string(kMiB, 'w'));
  EXPECT_TRUE(image_.SplitImage(file, 1));  // exactly at the limit
  // 4,096 MiB is 2^32 bytes: computed in 32 bits it would be 0 and split everything.
  EXPECT_TRUE(image_.SplitImage(file, 4096));
  EXPECT_TRUE(image_.SplitImage(file, 0));  // no split size: never split
  EXPECT_EQ(ReadFile(file), std::string(kMiB, 'w'));
  EXPECT_FALSE(Exists(folder_ / ORV_T("whole_O.WIM")));
}

TEST_F(WimFileTest, CountTakesWhatTheCallerTakesAndSkipsLongPaths) {
  image_.CreateImageFile(source_.c_str(), (folder_ / ORV_T("x.inp")).c_str(), 2, 0, 0, FALSE, Record);
  EXPECT_EQ(image_.CountFolderSize(source_), 75000u);
  // The Windows path is "X:\" and the relative path: 239 characters are counted, 240 not.
  WriteFile(source_ + ORV_T("\\") + WString(236, 'k'), "12345");
  WriteFile(source_ + ORV_T("\\") + WString(237, 'd'), "1234567");
  EXPECT_EQ(image_.CountFolderSize(source_), 75005u);
  // A folder the caller refuses is not entered.
  g_refused = ORV_T(":\\docs");
  g_offered.clear();
  EXPECT_EQ(image_.CountFolderSize(source_), 70005u);
  EXPECT_EQ(std::count(g_offered.begin(), g_offered.end(), WString(ORV_T(":\\docs\\a.txt"))), 0);
}

}  // namespace
}  // namespace orv::test
