// Sizes as every command reads them: MiB unless a suffix says otherwise; anything else
// is refused rather than read as something else.
#include <gtest/gtest.h>

#include "error_text.h"
#include "size_option.h"

namespace vantrel_cli {
namespace {

TEST(ParseSize, MebibytesByDefaultAndSuffixesKMG) {
  EXPECT_EQ(ParseSize("650"), 650ull << 20);
  EXPECT_EQ(ParseSize("64K"), 64ull << 10);
  EXPECT_EQ(ParseSize("64k"), 64ull << 10);
  EXPECT_EQ(ParseSize("3M"), 3ull << 20);
  EXPECT_EQ(ParseSize("3MiB"), 3ull << 20);
  EXPECT_EQ(ParseSize("2G"), 2ull << 30);
  EXPECT_EQ(ParseSize("2gb"), 2ull << 30);
  EXPECT_EQ(ParseSize("0"), 0u);
  for (const char* text : {"", "K", "-1", "1.5", "1T", "1 K", "12X", "17179869184G", "99999999999999999999"})
    EXPECT_FALSE(ParseSize(text).has_value()) << text;
}

TEST(ErrorText, AFailureWithoutACodeNeverSaysErrorZero) {
  EXPECT_EQ(ErrorText(0), "no error code was given");
  EXPECT_EQ(ErrorText(112), "error 112: the disk is full");
}

}  // namespace
}  // namespace vantrel_cli
