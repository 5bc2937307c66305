// Directory search: "." and ".." first, every entry once, case-insensitive patterns.
// The exact NTFS order is checked in the Linux-only tests: Wine does not sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/dir_search.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "support/temp_folder.h"

namespace orv::os {
namespace {

using test::TempFolder;
using test::WriteFile;

std::vector<WString> Names(WStringView pattern, DWORD& firstError) {
  std::vector<WString> names;
  DirSearch search;
  FindData data;
  firstError = search.First(pattern, data);
  if (firstError != 0) return names;
  do names.push_back(data.name);
  while (search.Next(data) == 0);
  EXPECT_EQ(search.Next(data), err::kNoMoreFiles);
  return names;
}

TEST(DirSearch, ListsDotsFirstAndEveryEntryOnce) {
  TempFolder temp;
  const std::vector<WString> files = {ORV_T("b.txt"), ORV_T("A.wim"), ORV_T("c.Wim"), ORV_T("zz")};
  for (const WString& name : files) WriteFile(temp / name, "x");
  ASSERT_EQ(CreateDirectory(temp / ORV_T("sub")), 0u);

  DWORD error = 0;
  const std::vector<WString> all = Names(temp / ORV_T("*.*"), error);
  ASSERT_EQ(error, 0u);
  ASSERT_EQ(all.size(), 7u);
  EXPECT_EQ(all[0], ORV_T("."));
  EXPECT_EQ(all[1], ORV_T(".."));
  for (const WString& name : files) EXPECT_EQ(std::count(all.begin(), all.end(), name), 1);
  EXPECT_EQ(std::count(all.begin(), all.end(), WString(ORV_T("sub"))), 1);
}

TEST(DirSearch, PatternsIgnoreCase) {
  TempFolder temp;
  for (const WStringView name :
       {ORV_T("one.wim"), ORV_T("TWO.WIM"), ORV_T("three.Wim"), ORV_T("four.txt")})
    WriteFile(temp / name, "x");
  DWORD error = 0;
  std::vector<WString> images = Names(temp / ORV_T("*.WIM"), error);
  ASSERT_EQ(error, 0u);
  std::sort(images.begin(), images.end());
  EXPECT_EQ(images, (std::vector<WString>{ORV_T("TWO.WIM"), ORV_T("one.wim"), ORV_T("three.Wim")}));

  EXPECT_EQ(Names(temp / ORV_T("FOUR.TXT"), error), std::vector<WString>{ORV_T("four.txt")});
  Names(temp / ORV_T("*.iso"), error);
  EXPECT_EQ(error, err::kFileNotFound);
  Names(temp / ORV_T("absent\\*.*"), error);
  EXPECT_EQ(error, err::kPathNotFound);
}

TEST(DirSearch, ReportsAttributesSizesAndTimes) {
  TempFolder temp;
  WriteFile(temp / ORV_T("data.bin"), "12345");
  ASSERT_EQ(SetAttributes(temp / ORV_T("data.bin"), kAttrHidden), 0u);
  ASSERT_EQ(SetTimes(temp / ORV_T("data.bin"), FileTimes{0, 0, 132223104000000000ULL}), 0u);
  ASSERT_EQ(CreateDirectory(temp / ORV_T("folder")), 0u);

  DirSearch search;
  FindData data;
  ASSERT_EQ(search.First(temp / ORV_T("data.bin"), data), 0u);
  EXPECT_EQ(data.name, ORV_T("data.bin"));
  EXPECT_EQ(data.size, 5u);
  EXPECT_EQ(data.attributes & (kAttrHidden | kAttrDirectory), kAttrHidden);
  EXPECT_EQ(data.times.lastWrite, 132223104000000000ULL);

  ASSERT_EQ(search.First(temp / ORV_T("fold*"), data), 0u);
  EXPECT_EQ(data.attributes & kAttrDirectory, kAttrDirectory);
  EXPECT_EQ(data.size, 0u);
}

// A search asked for descriptors gives every entry the one GetSecurity reads by its
// path, and a search that was not asked gives none.
TEST(DirSearch, GivesEachEntryItsSecurityDescriptorWhenAsked) {
  TempFolder temp;
  WriteFile(temp / ORV_T("data.bin"), "12345");
  ASSERT_EQ(CreateDirectory(temp / ORV_T("folder")), 0u);

  DirSearch search;
  FindData data;
  size_t described = 0;
  for (DWORD found = search.First(temp / ORV_T("*.*"), data, SearchDetail::kWithSecurity);
       found == 0; found = search.Next(data)) {
    EXPECT_EQ(data.securityError, 0u) << ToUtf8(data.name);
    if (data.name == ORV_T(".") || data.name == ORV_T("..")) {
      EXPECT_TRUE(data.security.empty());
      continue;
    }
    std::vector<uint8_t> byPath;
    ASSERT_EQ(GetSecurity(temp / data.name, kAllSecurity, byPath), 0u);
    EXPECT_EQ(data.security, byPath) << ToUtf8(data.name);
    ++described;
  }
  EXPECT_EQ(described, 2u);

  ASSERT_EQ(search.First(temp / ORV_T("data.bin"), data), 0u);
  EXPECT_TRUE(data.security.empty());
}

}  // namespace
}  // namespace orv::os
