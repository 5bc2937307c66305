#include <gtest/gtest.h>

#include <map>

#include "services/string.h"
#include "services/system.h"

namespace orv {
namespace {

TEST(COrvString, CompareNoCaseIsCaseInsensitiveAndOrdinal) {
  const COrvString name(ORV_T("All.crc"));
  EXPECT_EQ(name.CompareNoCase(ORV_T("ALL.CRC")), 0);
  EXPECT_LT(name.CompareNoCase(ORV_T("ALL.CRD")), 0);
  EXPECT_GT(name.CompareNoCase(ORV_T("ALL")), 0);
  // Upper-casing, not lower-casing: '_' (0x5F) lies between 'Z' and 'a'.
  EXPECT_GT(COrvString(ORV_T("_")).CompareNoCase(ORV_T("a")), 0);
  EXPECT_EQ(COrvString(ORV_T("\u00e9t\u00e9")).CompareNoCase(ORV_T("\u00c9T\u00c9")), 0);
  EXPECT_EQ(COrvString(ORV_T("\u0434\u0438\u0441\u043a")).CompareNoCase(ORV_T("\u0414\u0418\u0421\u041a")), 0);
  EXPECT_FALSE(name == ORV_T("ALL.CRC"));  // equality itself is exact
  EXPECT_TRUE(name == ORV_T("All.crc"));
}

TEST(COrvString, NameSetsCollapseCaseVariants) {
  std::map<COrvString, int, COrvStringLess> names;
  names[ORV_T("Windows\\System32")] = 1;
  names[ORV_T("WINDOWS\\system32")] = 2;
  names[ORV_T("Program Files")] = 3;
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names.begin()->first.str(), ORV_T("Program Files"));
  EXPECT_EQ(names[ORV_T("windows\\SYSTEM32")], 2);
}

TEST(COrvString, LeftAndMidClampOutOfRangeCounts) {
  const COrvString path(ORV_T("PRELOAD\\DISK0"));
  EXPECT_EQ(path.Left(7).str(), ORV_T("PRELOAD"));
  EXPECT_EQ(path.Mid(8).str(), ORV_T("DISK0"));
  EXPECT_EQ(path.Left(100).str(), path.str());
  EXPECT_EQ(path.Mid(100).str(), ORV_T(""));
  EXPECT_EQ(path.Left(-1).str(), ORV_T(""));
  EXPECT_EQ(path.Mid(-1).str(), path.str());
  EXPECT_EQ(COrvString(static_cast<const Char*>(nullptr)).GetLength(), 0);
}

TEST(COrvSystem, ResultLastPartString) {
  EXPECT_EQ(COrvSystem::ResultLastPartString(ORV_T("C:\\img\\BASE.INP"), '\\').str(), ORV_T("BASE.INP"));
  EXPECT_EQ(COrvSystem::ResultLastPartString(ORV_T("BASE.INP"), '\\').str(), ORV_T("BASE.INP"));
  EXPECT_EQ(COrvSystem::ResultLastPartString(ORV_T("dir\\"), '\\').str(), ORV_T(""));
}

}  // namespace
}  // namespace orv
