// CRYPT.INI records: values named by partition and path, keys that never overwrite a
// record already in the file, and other sections left as they were.
#include <gtest/gtest.h>

#include "archive/archive_support.h"
#include "image/crypt_ini.h"
#include "services/format.h"
#include "services/text_file.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

WString Text(const WString& path) {
  const std::vector<uint8_t> bytes = RawFile(path);
  WString text;
  EXPECT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xFE);
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += static_cast<Char>(bytes[i] | (bytes[i + 1] << 8));
  return text;
}

TEST(CryptIni, ValuesNameThePartitionAndThePath) {
  EXPECT_EQ(CryptRecordValue(2, ORV_T(""), ORV_T("Users\\a.txt"), ORV_T("EFS1.TMP")),
            ORV_T("2\\Users\\a.txt|EFS1.TMP"));
  EXPECT_EQ(CryptRecordValue(3, ORV_T("restore\\here"), ORV_T("a.txt"), ORV_T("")),
            ORV_T("3\\restore\\here\\a.txt"));
}

TEST(CryptIni, KeysGoOnAfterTheHighestAndOtherSectionsStay) {
  TempFolder folder;
  const WString path = folder / ORV_T("CRYPT.INI");
  ASSERT_EQ(CreateUtf16TextFile(path, ORV_T("[Crypt]\r\n5=1\\old.txt\r\n[Other]\r\nkey=kept\r\n")), 0u);
  ASSERT_EQ(AddCryptRecord(path, ORV_T("1\\new.txt")), 0u);
  ASSERT_EQ(AddCryptRecord(path, ORV_T("1\\newer.txt")), 0u);
  // Keys are process-wide: the first new one is 6 unless this process wrote higher ones.
  const WString text = Text(path);
  const size_t first = text.find(ORV_T("=1\\new.txt"));
  ASSERT_NE(first, WString::npos);
  const size_t start = text.rfind('\n', first) + 1;
  const int key = std::stoi(std::string(text.begin() + start, text.begin() + first));
  EXPECT_GE(key, 6);
  const WString expected = ORV_T("[Crypt]\r\n5=1\\old.txt\r\n") +
                           WString(Format(ORV_T("%d=1\\new.txt\r\n%d=1\\newer.txt\r\n"), key, key + 1)) +
                           ORV_T("[Other]\r\nkey=kept\r\n");
  EXPECT_EQ(text, expected);
}

}  // namespace
}  // namespace orv::test
