// The scrambler: the cipher is TEA (checked against its published zero-key vector), a
// record survives a round trip, and it refuses to run disabled or without buffers.
#include <gtest/gtest.h>

#include <cstring>

#include "wim/crypt.h"
#include "wim/password_record.h"

namespace orv {
namespace {

TEST(Crypt, ZeroKeyGivesThePublishedTeaVector) {
  COrvCrypt crypt;
  const uint32_t zeroKey[4] = {};
  crypt.SetKey(zeroKey);
  crypt.Enable(TRUE);
  const BYTE zeros[32] = {};
  std::unique_ptr<BYTE[]> out;
  DWORD length = 0;
  ASSERT_TRUE(crypt.Encrypt(zeros, &out, &length));
  ASSERT_EQ(length, 32u);
  // Every 8-byte block of zeros enciphers to 41EA3A0A 94BAA940 (little-endian words).
  const BYTE expected[8] = {0x0A, 0x3A, 0xEA, 0x41, 0x40, 0xA9, 0xBA, 0x94};
  for (int block = 0; block < 4; ++block)
    EXPECT_EQ(std::memcmp(out.get() + 8 * block, expected, 8), 0) << "block " << block;
}

TEST(Crypt, LibraryKeyRoundTripsAndRefusesMisuse) {
  COrvCrypt crypt;
  std::unique_ptr<BYTE[]> out;
  DWORD length = 0;
  BYTE data[32];
  for (int i = 0; i < 32; ++i) data[i] = BYTE(i * 7 + 1);
  EXPECT_FALSE(crypt.Encrypt(data, &out, &length)) << "a scrambler not set up refuses";

  SetUpLibraryCrypt(crypt);
  EXPECT_FALSE(crypt.Encrypt(nullptr, &out, &length));
  EXPECT_FALSE(crypt.Encrypt(data, nullptr, &length));
  EXPECT_FALSE(crypt.Decrypt(data, &out, nullptr));

  ASSERT_TRUE(crypt.Encrypt(data, &out, &length));
  EXPECT_NE(std::memcmp(out.get(), data, 32), 0);
  std::unique_ptr<BYTE[]> back;
  ASSERT_TRUE(crypt.Decrypt(out.get(), &back, &length));
  EXPECT_EQ(std::memcmp(back.get(), data, 32), 0);
}

TEST(PasswordRecord, KeepsSixteenCodeUnitsAndEmptyIsNotZero) {
  PasswordRecord record;
  ASSERT_TRUE(ScramblePassword(ORV_T("abcdefghijklmnopqrst"), record));
  Char password[16];
  ASSERT_TRUE(UnscramblePassword(record, password));
  EXPECT_EQ(WString(password, 16), WString(ORV_T("abcdefghijklmnop")));

  // An empty password is stored scrambled, so it differs from "no password at all".
  ASSERT_TRUE(ScramblePassword(ORV_T(""), record));
  EXPECT_FALSE(IsEmptyRecord(record));
}

}  // namespace
}  // namespace orv
