#include <gtest/gtest.h>

#include <algorithm>

#include "image/catalogue_crc.h"
#include "image/catalogue_desc.h"
#include "image/catalogue_paths.h"
#include "image/catalogue_xml.h"
#include "platform/dir_search.h"
#include "platform/file.h"
#include "services/text_file.h"
#include "support/temp_folder.h"

namespace orv {
namespace {

// UTF-16LE bytes with byte-order mark of ASCII text.
std::string Utf16(const std::string& text) {
  std::string bytes = "\xFF\xFE";
  for (const char c : text) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

bool Exists(const WString& path) {
  DWORD attributes = 0;
  return os::GetAttributes(path, attributes) == 0;
}

// The names in a folder.
std::vector<WString> Names(const WString& folder) {
  std::vector<WString> names;
  os::DirSearch search;
  os::FindData data;
  for (DWORD error = search.First(folder + ORV_T("\\*"), data); error == 0; error = search.Next(data))
    if (data.name != ORV_T(".") && data.name != ORV_T("..")) names.push_back(data.name);
  return names;
}

TEST(AtomicSave, ReplacesWholeAndLeavesNothingBeside) {
  test::TempFolder folder;
  const WString path = folder / ORV_T("BASE.XML");
  test::WriteFile(path, "old");
  ASSERT_EQ(ReplaceFileContent(path, {'n', 'e', 'w'}), 0u);
  EXPECT_EQ(test::ReadFile(path), "new");
  EXPECT_EQ(CreateUtf16TextFile(path, ORV_T("x")), 80u);
  EXPECT_EQ(test::ReadFile(path), "new");
  {
    AtomicFile unfinished;
    ASSERT_EQ(unfinished.Open(path, true), 0u);
    ASSERT_EQ(unfinished.Write("lost", 4), 0u);
  }  // never committed: thrown away
  EXPECT_EQ(test::ReadFile(path), "new");
  EXPECT_EQ(Names(folder.Path()), std::vector<WString>{ORV_T("BASE.XML")});
}

constexpr uint64_t kFiveGiB = 5ull * 1024 * 1024 * 1024;

TEST(CrcCatalogue, WritesExactLinesAndNeverOverwrites) {
  test::TempFolder folder;
  const WString path = folder / ORV_T("ALL.CRC");
  {
    CrcCatalogueWriter full;
    ASSERT_EQ(full.Open(path, false), 0u);
    ASSERT_EQ(
        full.Append(ORV_T("Windows\\system32\\kernel32.dll"), kCrcFileMarker, kFiveGiB, 1262304000),
        0u);
    ASSERT_EQ(full.Append(ORV_T("Windows"), kCrcDirectoryMarker, 0, 0), 0u);
    EXPECT_FALSE(Exists(path)) << "the catalogue takes its name only when it is whole";
    ASSERT_EQ(full.Close(), 0u);
  }
  const std::string expected = Utf16(
      "Windows\\system32\\kernel32.dll=FFFFFFFE|5368709120,1262304000\r\n"
      "Windows=FFFFFFFF|0,0\r\n");
  EXPECT_EQ(test::ReadFile(path), expected);

  CrcCatalogueWriter again;
  EXPECT_EQ(again.Open(path, true), 80u);
  EXPECT_FALSE(again.IsOpen());
  EXPECT_EQ(again.Append(ORV_T("lost"), kCrcFileMarker, 1, 1), 6u);
  EXPECT_EQ(test::ReadFile(path), expected);

  const std::string longName(3000, 'n');
  const WString wideName(longName.begin(), longName.end());
  EXPECT_EQ(FormatCrcLine(wideName, kCrcFileMarker, 1, 2, true).size(), 3000u + 15u)
      << "a long name is written whole, never cut";
  // Full images write signed numbers, differential ones the same bits unsigned.
  EXPECT_EQ(FormatCrcLine(ORV_T("a"), 0x1A, 0, -1, false), ORV_T("a=0000001A|0,-1\r\n"));
  EXPECT_EQ(FormatCrcLine(ORV_T("a"), 0x1A, 0, -1, true),
            ORV_T("a=0000001A|0,18446744073709551615\r\n"));
  EXPECT_EQ(FormatCrcLine(ORV_T("a"), kCrcDirectoryMarker, UINT64_MAX, INT64_MIN, false),
            ORV_T("a=FFFFFFFF|-1,-9223372036854775808\r\n"));
}

TEST(CrcCatalogue, TimeValueIsZeroBefore1900AndSecondsSince1970Otherwise) {
  EXPECT_EQ(CrcTimeValue(0), 0);           // 1601
  constexpr int64_t k1899 = 9435484800ll;  // 1899-12-31 00:00 UTC, seconds since 1601
  EXPECT_EQ(CrcTimeValue(static_cast<os::FileTime>(k1899) * 10000000), 0);
  constexpr int64_t kUnix2020 = 1590998400;  // 2020-06-01 08:00 UTC
  const auto fileTime = static_cast<os::FileTime>(kUnix2020 + 11644473600ll) * 10000000;
  EXPECT_NEAR(static_cast<double>(CrcTimeValue(fileTime)), static_cast<double>(kUnix2020), 3600.0);
}

TEST(CrcCatalogue, ReaderSplitsAtTheLastEqualsSkipsAndKeepsTheFirstLine) {
  test::TempFolder folder;
  const std::string overlong(40000, 'x');
  test::WriteFile(folder / ORV_T("ALL.CRC"), Utf16("a=b.txt=FFFFFFFE|12,34\r\n"
                                                   "Dir\\Same.txt=FFFFFFFE|1,1\r\n"
                                                   "DIR\\SAME.TXT=FFFFFFFE|2,2\r\n"
                                                   "I386=FFFFFFFF|0,0\r\n"
                                                   "Preload\\x=FFFFFFFE|1,1\r\n"
                                                   "System Recovery\\y=FFFFFFFE|1,1\r\n"
                                                   "nobar=FFFFFFFE,1\r\n"
                                                   "nocomma=FFFFFFFE|1\r\n"
                                                   "\r\n"
                                                   "no equals sign\r\n" +
                                                   overlong +
                                                   "=FFFFFFFE|9,9\r\n"
                                                   "after=FFFFFFFF|5368709120x,-7\r\n"
                                                   "last=fffffffe|3,4"));
  CrcTable table;
  bool i386 = false;
  ReadReferenceCatalogue(folder.Path(), table, i386);
  EXPECT_TRUE(i386);
  std::vector<COrvString> keys;
  for (const auto& [name, record] : table) keys.push_back(name);
  std::sort(keys.begin(), keys.end(), COrvStringLess());
  std::vector<std::string> names;
  for (const COrvString& name : keys) names.emplace_back(name.str().begin(), name.str().end());
  EXPECT_EQ(names, (std::vector<std::string>{"a=b.txt", "after", "Dir\\Same.txt", "I386", "last"}));
  EXPECT_EQ(table.at(ORV_T("a=b.txt")).size, 12u);
  EXPECT_EQ(table.at(ORV_T("a=b.txt")).time, 34);
  EXPECT_EQ(table.at(ORV_T("dir\\same.txt")).size, 1u);
  const CrcRecord after = table.at(ORV_T("after"));
  EXPECT_EQ(after.marker, kCrcDirectoryMarker);
  EXPECT_EQ(after.size, kFiveGiB) << "parsed up to the first non-digit";
  EXPECT_EQ(table.at(ORV_T("last")).marker, kCrcFileMarker);
  EXPECT_EQ(table.at(ORV_T("last")).state, 0u);
}

TEST(CrcCatalogue, WindowsListTakesPrecedenceOverAll) {
  test::TempFolder folder;
  test::WriteFile(folder / ORV_T("Windows.crc"), Utf16("Windows\\a.dll=FFFFFFFE|1,1\r\n"));
  test::WriteFile(folder / ORV_T("ALL.CRC"),
                  Utf16("Windows\\a.dll=FFFFFFFE|2,2\r\nother=FFFFFFFE|3,3\r\n"));
  CrcTable table;
  bool i386 = false;
  ReadReferenceCatalogue(folder.Path(), table, i386);
  EXPECT_FALSE(i386);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table.at(ORV_T("windows\\A.DLL")).size, 1u);
  CrcTable none;
  ReadReferenceCatalogue(folder / ORV_T("missing"), none, i386);
  EXPECT_TRUE(none.empty());
}

TEST(Description, WritesTheDiffSectionOnce) {
  test::TempFolder folder;
  const WString path = folder / ORV_T("DESC.TXT");
  os::CalendarTime time;
  time.year = 2026;
  time.month = 3;
  time.day = 7;
  time.hour = 9;
  time.minute = 5;
  time.second = 1;
  {
    DescriptionFile description;
    ASSERT_EQ(description.Open(path), 0u);
    ASSERT_EQ(description.Write(ORV_T("Before update\r\nTime=forged"), time, 12, kFiveGiB), 0u);
    ASSERT_EQ(description.Close(), 0u);
  }
  EXPECT_EQ(test::ReadFile(path),
            Utf16("[Diff]\r\nText=Before update  Time=forged\r\nTime=20260307 09:05:01\r\n"
                  "Files=12\r\nSize=5368709120\r\n"));
  DescriptionFile again;
  EXPECT_EQ(again.Open(path), 80u);
  EXPECT_EQ(again.Write(ORV_T("x"), time, 0, 0), 6u);
  EXPECT_EQ(DescriptionText(WString(600, 'd')).size(), 513u);
}

TEST(BaseCatalogueFile, FullAndDifferentialFoldersReadBack) {
  test::TempFolder folder;
  const WString full = folder / ORV_T("BASE.XML");
  {
    CatalogueDocument base = OpenCatalogueDocument(full, ORV_T("image"));
    ASSERT_TRUE(base.IsOpen());
    ASSERT_EQ(FinishBaseCatalogue(base, kFiveGiB, {ORV_T("BASE.INP"), ORV_T("BASE_01.INP")}), 0u);
  }
  BaseCatalogue read;
  ASSERT_EQ(ReadBaseCatalogue(full, read), 0u);
  EXPECT_EQ(read.size, kFiveGiB);
  EXPECT_EQ(read.files, (std::vector<WString>{ORV_T("BASE.INP"), ORV_T("BASE_01.INP")}));

  const WString differential = folder / ORV_T("DIFF.XML");
  {
    CatalogueDocument base = OpenCatalogueDocument(differential, ORV_T("image"));
    ASSERT_EQ(
        FinishDifferentialBaseCatalogue(base, 0, 0, os::CalendarTime{2026, 12, 1, 7, 13, 4, 5, 0}, {}),
        0u);
  }
  ASSERT_EQ(ReadBaseCatalogue(differential, read), 0u);
  EXPECT_EQ(read.size, 0u);
  EXPECT_TRUE(read.files.empty());
  XmlRef<IOrvXmlDocument> document(GetOrvXmlInterface(0));
  ASSERT_EQ(document->Load(differential), 0u);
  IOrvXmlElement* raw = nullptr;
  ASSERT_EQ(document->GetRoot(raw), 0u);
  XmlRef<IOrvXmlElement> root(raw);
  DWORD files = 9, month = 0;
  EXPECT_TRUE(ReadAttribute(*root, ORV_T("Files"), files));
  EXPECT_TRUE(ReadAttribute(*root, ORV_T("Month"), month));
  EXPECT_EQ(files, 0u);
  EXPECT_EQ(month, 12u);
}

TEST(BaseCatalogueFile, ArchiveNamesThatLeaveTheFolderAreDropped) {
  test::TempFolder folder;
  const WString path = folder / ORV_T("BASE.XML");
  test::WriteFile(
      path,
      "<image Size=\"7\"><file>BASE.INP</file><file>..\\..\\x.INP</file>"
      "<file>C:\\Windows\\a.INP</file><file>sub\\b.INP</file><file>../up.INP</file></image>");
  BaseCatalogue read;
  ASSERT_EQ(ReadBaseCatalogue(path, read), 0u);
  EXPECT_EQ(read.files, std::vector<WString>{ORV_T("BASE.INP")});
}

TEST(DeletionList, ListsOnlyWhatMayBeDeletedAndReadsOnlySafePaths) {
  test::TempFolder folder;
  const WString path = folder / ORV_T("DEL.XML");
  {
    CatalogueDocument deletions = OpenCatalogueDocument(path, ORV_T("del"));
    ASSERT_TRUE(deletions.IsOpen());
    EXPECT_TRUE(AddDeletedEntry(deletions, ORV_T("Windows\\old.dll"), false));
    EXPECT_TRUE(AddDeletedEntry(deletions, ORV_T("Users\\Gone"), true));
    EXPECT_FALSE(AddDeletedEntry(deletions, ORV_T("pagefile.sys"), false));
    EXPECT_FALSE(AddDeletedEntry(deletions, ORV_T("Data\\quen.dav"), false));
    EXPECT_FALSE(AddDeletedEntry(deletions, ORV_T("sysprep\\unattend.xml"), false));
    ASSERT_EQ(deletions.Save(), 0u);
  }
  std::vector<DeletedEntry> entries;
  ASSERT_EQ(ReadDeletionList(path, entries), 0u);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].path, ORV_T("Windows\\old.dll"));
  EXPECT_FALSE(entries[0].directory);
  EXPECT_EQ(entries[1].path, ORV_T("Users\\Gone"));
  EXPECT_TRUE(entries[1].directory);

  test::WriteFile(
      path,
      "<del><file Directory=\"TRUE\">\\..\\..\\Windows</file><file>\\\\server\\share\\x</file>"
      "<file>C:\\boot.ini</file><file>\\a\\.\\b</file><file>\\a\\b:stream</file>"
      "<file>\\</file><file Directory=\"FALSE\">\\ok\\file.txt</file></del>");
  ASSERT_EQ(ReadDeletionList(path, entries), 0u);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].path, ORV_T("ok\\file.txt"));
  EXPECT_EQ(ReadDeletionList(folder / ORV_T("none.xml"), entries), 2u);
}

TEST(CataloguePaths, OnlyPathsInsideTheFolderPass) {
  EXPECT_EQ(SafeRelativePath(ORV_T("\\a/b\\c")), WString(ORV_T("a\\b\\c")));
  for (const Char* bad :
       {ORV_T(""), ORV_T("\\"), ORV_T("\\\\srv\\x"), ORV_T("a\\..\\..\\b"), ORV_T(".."),
        ORV_T("a\\. .\\b"), ORV_T("... "), ORV_T("\\a/..  \\b")})  // read as ".." by Windows
    EXPECT_FALSE(SafeRelativePath(bad).has_value());
  EXPECT_TRUE(IsPlainFileName(ORV_T("BASE_0001.INP")));
  EXPECT_FALSE(IsPlainFileName(ORV_T("a\\BASE.INP")));
}

}  // namespace
}  // namespace orv
