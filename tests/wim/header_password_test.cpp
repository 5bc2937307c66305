// The password block in WIM headers: only the 32 bytes at H - 32 change, a password
// reads back as at most 16 characters, and files whose header would put the block
// outside the first 1024 bytes, or that are shorter, are refused and left untouched.
#include <gtest/gtest.h>

#include <string>

#include "platform/errors.h"
#include "services/log.h"
#include "support/temp_folder.h"
#include "wim/header_password.h"
#include "wim/wim.h"

namespace orv {
namespace {

// A file that starts like a WIM header of size `headerSize`, `size` bytes long.
std::string FakeWim(uint32_t headerSize, size_t size = 4096) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = char(i * 31 + 5);
  const std::string magic("MSWIM\0\0\0", 8);
  bytes.replace(0, magic.size(), magic);
  for (int i = 0; i < 4; ++i) bytes[8 + i] = char(headerSize >> (8 * i));
  if (headerSize >= 32 && headerSize <= size)
    bytes.replace(headerSize - 32, 32, std::string(32, '\0'));
  return bytes;
}

class HeaderPasswordTest : public ::testing::Test {
 protected:
  test::TempFolder folder_;
  WString file_ = folder_ / ORV_T("image.wim");
  COrvWim wim_;
};

TEST_F(HeaderPasswordTest, SetChangesOnlyTheBlockAndGetReadsItBack) {
  const std::string original = FakeWim(208);
  test::WriteFile(file_, original);
  Char out[17];
  std::fill(std::begin(out), std::end(out), Char('#'));

  ASSERT_TRUE(wim_.GetPassword(file_.c_str(), out));
  EXPECT_EQ(wim_.GetLastErrorCode(), 0u);
  EXPECT_EQ(WString(out, 16), WString(16, Char(0))) << "no password yet";
  EXPECT_EQ(out[16], Char('#'));

  ASSERT_TRUE(wim_.SetPassword(file_.c_str(), ORV_T("twenty characters!!!")));
  EXPECT_EQ(wim_.GetLastErrorCode(), 0u);
  const std::string changed = test::ReadFile(file_);
  ASSERT_EQ(changed.size(), original.size());
  EXPECT_EQ(changed.substr(0, 176), original.substr(0, 176));
  EXPECT_EQ(changed.substr(208), original.substr(208));
  EXPECT_NE(changed.substr(176, 32), std::string(32, '\0'));

  ASSERT_TRUE(wim_.GetPassword(file_.c_str(), out));
  EXPECT_EQ(WString(out, 16), WString(ORV_T("twenty character")));
  EXPECT_EQ(out[16], Char('#')) << "16 characters come back without a terminator";

  ASSERT_TRUE(wim_.SetPassword(file_.c_str(), ORV_T("short")));
  ASSERT_TRUE(wim_.GetPassword(file_.c_str(), out));
  EXPECT_EQ(WString(out), WString(ORV_T("short")));
}

TEST_F(HeaderPasswordTest, BadHeaderSizesAndShortFilesAreRefusedUntouched) {
  struct Case {
    std::string bytes;
    DWORD error;
  };
  const Case cases[] = {
      {FakeWim(16), err::kFileCorrupt},
      // A header too small to hold the block after its fields: the block would overwrite
      // the magic (32) or the header's own tables (207).
      {FakeWim(32), err::kFileCorrupt},
      {FakeWim(207), err::kFileCorrupt},
      // No WIM file at all, however its bytes 8 to 11 read.
      {std::string(4, 'x') + FakeWim(208).substr(4), err::kFileCorrupt},
      {std::string(5, '\0') + FakeWim(208).substr(5), err::kFileCorrupt},
      {FakeWim(1025), err::kFileCorrupt},
      {FakeWim(0xFFFFFFF0u), err::kFileCorrupt},
      {FakeWim(208, 1023), err::kHandleEof},
  };
  for (const Case& c : cases) {
    test::WriteFile(file_, c.bytes);
    EXPECT_FALSE(wim_.SetPassword(file_.c_str(), ORV_T("secret")));
    EXPECT_EQ(wim_.GetLastErrorCode(), c.error);
    EXPECT_EQ(test::ReadFile(file_), c.bytes);
    Char out[16];
    EXPECT_FALSE(wim_.GetPassword(file_.c_str(), out));
    EXPECT_EQ(wim_.GetLastErrorCode(), c.error);
  }
  // The largest header size allowed puts the block at the end of the 1024 bytes.
  test::WriteFile(file_, FakeWim(1024, 1024));
  EXPECT_TRUE(wim_.SetPassword(file_.c_str(), ORV_T("secret")));
}

TEST_F(HeaderPasswordTest, ArgumentsAndMissingFiles) {
  Char out[16];
  EXPECT_FALSE(wim_.SetPassword(nullptr, ORV_T("x")));
  EXPECT_EQ(wim_.GetLastErrorCode(), ORV_ERROR_ARG1);
  EXPECT_FALSE(wim_.SetPassword(file_.c_str(), nullptr));
  EXPECT_EQ(wim_.GetLastErrorCode(), ORV_ERROR_ARG2);
  EXPECT_FALSE(wim_.GetPassword(nullptr, out));
  EXPECT_EQ(wim_.GetLastErrorCode(), ORV_ERROR_ARG1);
  EXPECT_FALSE(wim_.GetPassword(file_.c_str(), nullptr));
  EXPECT_EQ(wim_.GetLastErrorCode(), ORV_ERROR_ARG2);
  EXPECT_FALSE(wim_.SetPassword(file_.c_str(), ORV_T("x")));
  EXPECT_EQ(wim_.GetLastErrorCode(), err::kFileNotFound);
  EXPECT_FALSE(wim_.GetPassword(file_.c_str(), out));
  EXPECT_EQ(wim_.GetLastErrorCode(), err::kFileNotFound);
}

TEST_F(HeaderPasswordTest, ThePasswordNeverReachesTheLog) {
  COrvLog& log = COrvLog::GetInstance();
  const DWORD savedMask = log.LevelMask();
  const WString logFile = folder_ / ORV_T("wim.log");
  ASSERT_EQ(log.Redirect(logFile), 0u);
  log.SetLevelMask(COrvLog::kAllLevels);
  test::WriteFile(file_, FakeWim(208));
  EXPECT_TRUE(wim_.SetPassword(file_.c_str(), ORV_T("Sw0rdfish")));
  log.SetLevelMask(savedMask);
  log.Redirect(ORV_T(""));
  const std::string text = test::ReadFile(logFile);
  EXPECT_NE(text.find("COrvWim::SetPassword"), std::string::npos);
  EXPECT_NE(text.find("Copy content of DataTemp to Data: offset 176"), std::string::npos);
  EXPECT_EQ(text.find("Sw0rdfish"), std::string::npos);
}

}  // namespace
}  // namespace orv
