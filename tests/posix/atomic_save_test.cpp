// A catalogue whose save fails midway (here: the file-size limit, as a full disk would)
// leaves the file it replaces whole and reports the failure.
#include <gtest/gtest.h>

#include "image/catalogue_crc.h"
#include "image/catalogue_desc.h"
#include "image/catalogue_xml.h"
#include "platform/dir_search.h"
#include "posix/file_size_limit.h"
#include "services/text_file.h"
#include "support/temp_folder.h"

namespace orv {
namespace {

std::vector<WString> Names(const WString& folder) {
  std::vector<WString> names;
  os::DirSearch search;
  os::FindData data;
  for (DWORD error = search.First(folder + ORV_T("\\*"), data); error == 0;
       error = search.Next(data))
    if (data.name != ORV_T(".") && data.name != ORV_T("..")) names.push_back(data.name);
  return names;
}

std::vector<WString> ManyNames() {
  std::vector<WString> files;
  for (int i = 0; i < 2000; ++i) files.push_back(ORV_T("BASE_") + WString(8, Char('0' + i % 10)));
  return files;
}

TEST(AtomicSaveFailure, AFailedXmlSaveKeepsTheCatalogueAndReportsIt) {
  test::TempFolder folder;
  const WString path = folder / ORV_T("BASE.XML");
  {
    CatalogueDocument base = OpenCatalogueDocument(path, ORV_T("image"));
    ASSERT_TRUE(base.IsOpen());
    ASSERT_EQ(FinishBaseCatalogue(base, 1, {ORV_T("BASE.INP")}), 0u);
  }
  const std::string before = test::ReadFile(path);
  {
    CatalogueDocument base = OpenCatalogueDocument(path, ORV_T("image"));
    ASSERT_TRUE(base.IsOpen());
    const test::FileSizeLimit limit(4096);
    EXPECT_EQ(FinishBaseCatalogue(base, 2, ManyNames()), 112u);
  }
  EXPECT_EQ(test::ReadFile(path), before);
  EXPECT_EQ(Names(folder.Path()), std::vector<WString>{ORV_T("BASE.XML")});
  BaseCatalogue read;
  ASSERT_EQ(ReadBaseCatalogue(path, read), 0u);
  EXPECT_EQ(read.files, std::vector<WString>{ORV_T("BASE.INP")});
}

TEST(AtomicSaveFailure, ACutTextCatalogueNeverTakesItsName) {
  test::TempFolder folder;
  const WString crc = folder / ORV_T("ALL.CRC");
  const WString description = folder / ORV_T("DESC.TXT");
  {
    const test::FileSizeLimit limit(4096);
    CrcCatalogueWriter writer;
    ASSERT_EQ(writer.Open(crc, false), 0u);
    for (const WString& name : ManyNames()) writer.Append(name, kCrcFileMarker, 1, 2);
    EXPECT_EQ(writer.Close(), 112u);

    DescriptionFile text;
    ASSERT_EQ(text.Open(description), 0u);
    text.Write(WString(500, 'd'), os::CalendarTime{}, 1, 1);
    text.Write(WString(500, 'e'), os::CalendarTime{}, 1, 1);
    text.Write(WString(500, 'f'), os::CalendarTime{}, 1, 1);
    text.Write(WString(500, 'g'), os::CalendarTime{}, 1, 1);
    EXPECT_EQ(text.Close(), 112u);
  }
  EXPECT_TRUE(Names(folder.Path()).empty()) << "neither file, nor anything left beside";
}

}  // namespace
}  // namespace orv
