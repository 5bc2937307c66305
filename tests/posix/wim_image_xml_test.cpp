// Image information blocks of the Linux engine: one IMAGE element cut out of the WIM's
// document, and the properties a block sets, named the way wimlib names them.
#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/text.h"
#include "wim/engine_image_xml.h"

namespace orv::wim {
namespace {

std::string Utf16(const std::u16string& text, bool mark) {
  std::string bytes;
  if (mark) bytes += "\xFF\xFE";
  for (char16_t c : text) {
    bytes += char(c & 0xFF);
    bytes += char(c >> 8);
  }
  return bytes;
}

TEST(WimImageXml, BlockOfOneImageComesWithAByteOrderMark) {
  const std::string document = Utf16(
      u"<WIM><TOTALBYTES>9</TOTALBYTES><IMAGE INDEX=\"1\"><NAME>a</NAME></IMAGE>"
      u"<IMAGE INDEX=\"2\"><NAME>b</NAME></IMAGE></WIM>",
      false);
  std::vector<BYTE> block;
  ASSERT_EQ(ImageInformationBlock(document.data(), document.size(), 2, block), 0u);
  EXPECT_EQ(std::string(block.begin(), block.end()),
            Utf16(u"<IMAGE INDEX=\"2\"><NAME>b</NAME></IMAGE>", true));
  EXPECT_EQ(ImageInformationBlock(document.data(), document.size(), 3, block), err::kInvalidData);
  EXPECT_EQ(ImageInformationBlock("junk", 4, 0, block), err::kInvalidData);
}

TEST(WimImageXml, PropertiesAreNamedByPathWithPositionsForRepeats) {
  const std::string block = Utf16(
      u"<IMAGE INDEX=\"1\"><NAME>Base</NAME><WINDOWS><VERSION><BUILD>19045</BUILD></VERSION>"
      u"<LANGUAGES><LANGUAGE>en-US</LANGUAGE><LANGUAGE>de-DE</LANGUAGE></LANGUAGES>"
      u"</WINDOWS><FLAGS></FLAGS></IMAGE>",
      true);
  std::vector<std::pair<std::string, std::string>> properties;
  ASSERT_EQ(ImageProperties(block.data(), block.size(), properties), 0u);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"NAME", "Base"},
      {"WINDOWS/VERSION/BUILD", "19045"},
      {"WINDOWS/LANGUAGES/LANGUAGE[1]", "en-US"},
      {"WINDOWS/LANGUAGES/LANGUAGE[2]", "de-DE"},
      {"FLAGS", ""},
  };
  EXPECT_EQ(properties, expected);
  const std::string other = Utf16(u"<OTHER/>", true);
  EXPECT_EQ(ImageProperties(other.data(), other.size(), properties), err::kInvalidData);
}

}  // namespace
}  // namespace orv::wim
