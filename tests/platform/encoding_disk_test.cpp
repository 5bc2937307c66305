// The narrow code page and the reading of an MBR layout, on every system.
#include <gtest/gtest.h>

#include "platform/disk.h"
#include "platform/encoding.h"

namespace orv::os {
namespace {

TEST(SystemCodePage, SpellsPlainTextAndRefusesWhatHasNoForm) {
  std::string narrow = "stale";
  ASSERT_EQ(ToSystemCodePage(ORV_T("C:\\images\\disk.img"), narrow), 0u);
  EXPECT_EQ(narrow, "C:\\images\\disk.img") << "never an empty string as success";
  ASSERT_EQ(ToSystemCodePage(ORV_T(""), narrow), 0u);
  EXPECT_EQ(narrow, "");
  // An unpaired surrogate has no form in any code page, UTF-8 included.
  const WString broken = ORV_T("a") + WString(1, Char(0xD800)) + ORV_T("b");
  EXPECT_EQ(ToSystemCodePage(broken, narrow), 1113u);
  const WString lone = WString(1, Char(0xDC00));
  EXPECT_EQ(ToSystemCodePage(lone, narrow), 1113u);
}

TEST(MbrLayout, OnlyTheLinksBetweenExtendedBootRecordsAreLeftOut) {
  EXPECT_FALSE(IsExtendedLink(1, 0x05, 0)) << "the extended partition of the MBR stays";
  EXPECT_FALSE(IsExtendedLink(3, 0x0F, 0));
  EXPECT_TRUE(IsExtendedLink(5, 0x05, 0));
  EXPECT_TRUE(IsExtendedLink(9, 0x0F, 0));
  EXPECT_FALSE(IsExtendedLink(4, 0x07, 5)) << "a logical partition";
  EXPECT_FALSE(IsExtendedLink(8, 0x05, 6)) << "numbered: a partition the system counts";
}

}  // namespace
}  // namespace orv::os
