// The name table of the differential scan: names found ignoring case (beyond ASCII too),
// the first record of a name kept, and every name still found after the table grew.
#include "image/name_table.h"

#include <gtest/gtest.h>

#include "services/format.h"

namespace orv {
namespace {

TEST(NameTable, FindsNamesIgnoringCaseAndKeepsTheFirstRecord) {
  NameTable<int> table;
  EXPECT_EQ(table.find(ORV_T("a")), table.end()) << "an empty table finds nothing";
  EXPECT_TRUE(table.emplace(COrvString(ORV_T("Dir\\File.txt")), 1).second);
  EXPECT_TRUE(table.emplace(COrvString(ORV_T("\u00c9t\u00e9")), 2).second);
  const auto again = table.emplace(COrvString(ORV_T("DIR\\file.TXT")), 3);
  EXPECT_FALSE(again.second);
  EXPECT_EQ(again.first->second, 1);
  EXPECT_EQ(table.at(ORV_T("dir\\file.txt")), 1);
  EXPECT_EQ(table.at(ORV_T("\u00e9T\u00c9")), 2);
  EXPECT_EQ(table.find(ORV_T("dir\\file")), table.end());
  EXPECT_EQ(table.find(ORV_T("dir\\file.txt2")), table.end());
  EXPECT_EQ(table.size(), 2u);
}

TEST(NameTable, EveryNameIsFoundAfterTheTableGrew) {
  NameTable<size_t> table;
  table.reserve(10);
  constexpr size_t kCount = 50000;
  for (size_t i = 0; i < kCount; ++i)
    ASSERT_TRUE(
        table.emplace(COrvString(Format(ORV_T("d%u\\f%u.txt"), unsigned(i % 97), unsigned(i))), i)
            .second);
  ASSERT_EQ(table.size(), kCount);
  for (size_t i = 0; i < kCount; i += 7) {
    const auto found = table.find(Format(ORV_T("D%u\\F%u.TXT"), unsigned(i % 97), unsigned(i)));
    ASSERT_NE(found, table.end()) << i;
    EXPECT_EQ(found->second, i);
  }
  // In the order the names were added.
  size_t expected = 0;
  for (const auto& [name, value] : table) ASSERT_EQ(value, expected++);
}

}  // namespace
}  // namespace orv
