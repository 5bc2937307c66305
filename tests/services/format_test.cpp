// The log formatter must give the Windows runtime's text for every conversion the
// library's log lines use, on every system.
#include <gtest/gtest.h>

#include "platform/encoding.h"
#include "services/format.h"

namespace orv {
namespace {

std::string F(WStringView format) { return os::ToUtf8(Format(format)); }
template <class... Args>
std::string F(WStringView format, const Args&... args) {
  return os::ToUtf8(Format(format, args...));
}

TEST(Format, ErrorCodesInDecimalAndHexadecimal) {
  EXPECT_EQ(F(ORV_T("%u (%8.8X)"), 5u, 5u), "5 (00000005)");
  EXPECT_EQ(F(ORV_T("%u (%8.8X)"), 0x10000801u, 0x10000801u), "268437505 (10000801)");
  EXPECT_EQ(F(ORV_T("%2.2X"), 7), "07");
  EXPECT_EQ(F(ORV_T("%2.2X"), 0xDD), "DD");
  EXPECT_EQ(F(ORV_T("%x|%X|%#x"), 255, 255, 255), "ff|FF|0xff");
}

TEST(Format, ThirtyTwoBitConversionsTruncateLikeWindows) {
  EXPECT_EQ(F(ORV_T("%d"), -1), "-1");
  EXPECT_EQ(F(ORV_T("%u"), -1), "4294967295");
  EXPECT_EQ(F(ORV_T("%d"), 0xFFFFFFFFu), "-1");
  // long is 32 bits on Windows: %ld and %lu read 32 bits even from a 64-bit value.
  EXPECT_EQ(F(ORV_T("%ld|%lu"), int64_t{-2}, uint64_t{0x100000005}), "-2|5");
  EXPECT_EQ(F(ORV_T("%hd"), 0x12345), "9029");
}

TEST(Format, SixtyFourBitConversions) {
  EXPECT_EQ(F(ORV_T("%I64u"), uint64_t{18446744073709551615ULL}), "18446744073709551615");
  EXPECT_EQ(F(ORV_T("%I64d"), int64_t{-9223372036854775807LL - 1}), "-9223372036854775808");
  EXPECT_EQ(F(ORV_T("%I64u - %lld"), uint64_t{681574400}, int64_t{-3}), "681574400 - -3");
}

TEST(Format, WidthPrecisionAndFlags) {
  EXPECT_EQ(F(ORV_T("%.4i"), 42), "0042");
  EXPECT_EQ(F(ORV_T("%.4i"), -42), "-0042");
  EXPECT_EQ(F(ORV_T("[%2.u]"), 0), "[  ]");  // precision 0 prints no digit for 0
  EXPECT_EQ(F(ORV_T("[%2.u]"), 7), "[ 7]");
  EXPECT_EQ(F(ORV_T("[%-5d|%05d|%+d|% d]"), 3, -3, 3, 3), "[3    |-0003|+3| 3]");
  EXPECT_EQ(F(ORV_T("[%08.3d]"), 5), "[     005]");  // precision turns the 0 flag off
  EXPECT_EQ(F(ORV_T("[%*d|%-*d]"), 4, 1, 3, 2), "[   1|2  ]");
  EXPECT_EQ(F(ORV_T("%02u:%02u"), 9, 5), "09:05");
}

TEST(Format, StringsAndCharacters) {
  const Char* name = ORV_T("BASE.INP");
  EXPECT_EQ(F(ORV_T("Open %s"), name), "Open BASE.INP");
  EXPECT_EQ(F(ORV_T("[%10s][%-6s][%.2s]"), name, ORV_T("ab"), name), "[  BASE.INP][ab    ][BA]");
  EXPECT_EQ(F(ORV_T("%s"), WString(ORV_T("\u00e9t\u00e9"))), "\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(F(ORV_T("%c:\\"), Char('C')), "C:\\");
  EXPECT_EQ(F(ORV_T("%s"), nullptr), "(null)");
}

TEST(Format, MalformedFormatsNeverReadPastTheArguments) {
  EXPECT_EQ(F(ORV_T("100%%")), "100%");
  EXPECT_EQ(F(ORV_T("%u and %s")), "0 and (null)");    // missing arguments
  EXPECT_EQ(F(ORV_T("%s"), 5), "(null)");              // a number where a string belongs
  EXPECT_EQ(F(ORV_T("%q|%")), "%q|%");                 // unknown and dangling conversions
  EXPECT_EQ(F(ORV_T("%999999999d"), 1).size(), 4096u);  // widths are capped
}

}  // namespace
}  // namespace orv
