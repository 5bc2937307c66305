// The rules the differential scan judges entries by, at their edges.
#include <gtest/gtest.h>

#include "image/change_rules.h"

namespace orv::test {
namespace {

TEST(ChangeRules, TimeShiftsOfWholeHoursAndFiveSecondsCompareBySize) {
  const int64_t t = 1700000000;
  EXPECT_EQ(FileChange(10, t, 10, t), kUnchanged);
  EXPECT_EQ(FileChange(10, t, 10, t + 3600), kUnchanged);
  EXPECT_EQ(FileChange(10, t, 10, t - 3601), kModified);
  EXPECT_EQ(FileChange(10, t, 10, t + 86400), kUnchanged);
  EXPECT_EQ(FileChange(10, t, 10, t + 90000), kModified);  // 25 whole hours
  EXPECT_EQ(FileChange(10, t, 10, t + 5), kUnchanged);
  EXPECT_EQ(FileChange(10, t, 10, t + 4), kModified);
  EXPECT_EQ(FileChange(10, t, 10, t - 6), kModified);
  EXPECT_EQ(FileChange(10, t, 11, t + 3600), kModified);
  EXPECT_EQ(ReparseFolderChange(t, t + 7200), kUnchanged);
  EXPECT_EQ(ReparseFolderChange(t, t + 7201), kModified);
  EXPECT_TRUE(IsLeftOutOfScan(ORV_T("E:\\pagefile.sys")));
  EXPECT_TRUE(IsLeftOutOfScan(ORV_T("E:\\System Volume Information\\x")));
  EXPECT_FALSE(IsLeftOutOfScan(ORV_T("E:\\Windows\\pagefile.sys.bak")) &&
               IsLeftOutOfScan(ORV_T("E:\\data\\x.txt")));
}

}  // namespace
}  // namespace orv::test
