#include "services/xml.h"

#include <gtest/gtest.h>

#include "services/text_file.h"
#include "support/temp_folder.h"

namespace orv {
namespace {

constexpr const Char* kTemplate =
    ORV_T("<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n<image>\r\n</image>\r\n");

XmlRef<IOrvXmlDocument> LoadDocument(const WString& path) {
  XmlRef<IOrvXmlDocument> document(GetOrvXmlInterface(0));
  EXPECT_TRUE(document);
  EXPECT_EQ(document->Load(path), 0u);
  return document;
}

XmlRef<IOrvXmlElement> Root(const IOrvXmlDocument& document) {
  IOrvXmlElement* root = nullptr;
  EXPECT_EQ(document.GetRoot(root), 0u);
  return AdoptElement(root);
}

TEST(XmlService, FillsALiteralTemplateAndReadsTheValuesBack) {
  test::TempFolder folder;
  const WString path = folder / ORV_T("MRL.XML");
  ASSERT_EQ(CreateUtf16TextFile(path, kTemplate), 0u);
  {
    auto document = LoadDocument(path);
    auto root = Root(*document);
    ASSERT_TRUE(WriteAttribute(*root, ORV_T("DiskCount"), DWORD{1}));
    for (DWORD number : {DWORD{0}, DWORD{3}}) {
      IOrvXmlElement* raw = nullptr;
      ASSERT_EQ(root->AddChild(ORV_T("disk"), raw), 0u);
      auto disk = AdoptElement(raw);
      ASSERT_TRUE(WriteAttribute(*disk, ORV_T("Number"), number));
      ASSERT_TRUE(WriteAttribute(*disk, ORV_T("Size"), uint64_t{5'000'000'000'000ull} + number));
      ASSERT_TRUE(WriteAttributeText(*disk, ORV_T("Name"), ORV_T("Disque \u00e9 <&>\"")));
      ASSERT_TRUE(WriteAttribute(*disk, ORV_T("Windows_Type"), int32_t{-1}));
    }
    ASSERT_EQ(document->Save(0), 0u);
  }
  const std::string bytes = test::ReadFile(path);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 0xFF);
  EXPECT_EQ(static_cast<uint8_t>(bytes[1]), 0xFE);
  EXPECT_EQ(bytes[2], '<');
  EXPECT_EQ(bytes[3], '\0');

  auto document = LoadDocument(path);
  IOrvXmlElement* raw = nullptr;
  ASSERT_EQ(document->SelectNode(ORV_T("image/disk[@Number='3']"), raw), 0u);
  auto disk = AdoptElement(raw);
  uint64_t size = 0;
  DWORD number = 0;
  int32_t type = 0;
  WString name;
  EXPECT_TRUE(ReadAttribute(*disk, ORV_T("Size"), size));
  EXPECT_TRUE(ReadAttribute(*disk, ORV_T("Number"), number));
  EXPECT_TRUE(ReadAttribute(*disk, ORV_T("Windows_Type"), type));
  EXPECT_TRUE(ReadAttributeText(*disk, ORV_T("Name"), name));
  EXPECT_EQ(size, 5'000'000'000'003ull);
  EXPECT_EQ(number, 3u);
  EXPECT_EQ(type, -1);
  EXPECT_EQ(name, ORV_T("Disque \u00e9 <&>\""));
  EXPECT_EQ(document->SelectNode(ORV_T("image/disk[@Number='7']"), raw), 2u);
  EXPECT_EQ(document->SelectNode(ORV_T("image/disk[@Number="), raw), 87u);
}

TEST(XmlService, WalksChildrenInOrderAndReportsMissingOrMalformedAttributes) {
  test::TempFolder folder;
  const WString path = folder / ORV_T("BASE.XML");
  ASSERT_EQ(
      CreateUtf16TextFile(path, ORV_T("<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n"
                                      "<image Size=\"12x\"><!-- note -->\r\n<file>A.INP</file>"
                                      "text<file>B.INP</file></image>\r\n")),
      0u);
  auto document = LoadDocument(path);
  auto root = Root(*document);
  uint64_t size = 99;
  EXPECT_FALSE(ReadAttribute(*root, ORV_T("Size"), size));
  EXPECT_EQ(size, 99u);
  IOrvXmlAttribute* attribute = nullptr;
  EXPECT_EQ(root->GetAttribute(ORV_T("Files"), attribute), 2u);

  std::vector<WString> names;
  IOrvXmlElement* raw = nullptr;
  for (DWORD error = root->FirstChild(raw); error == 0;) {
    auto child = AdoptElement(raw);
    WString text;
    child->GetText(text);
    names.push_back(text);
    error = child->NextSibling(raw);
    if (error != 0) {
      EXPECT_EQ(error, 259u);
    }
  }
  EXPECT_EQ(names, (std::vector<WString>{ORV_T("A.INP"), ORV_T("B.INP")}));
}

TEST(XmlService, RejectsMissingAndBrokenFiles) {
  test::TempFolder folder;
  XmlRef<IOrvXmlDocument> document(GetOrvXmlInterface(0));
  EXPECT_EQ(document->Load(folder / ORV_T("absent.xml")), 2u);
  const WString broken = folder / ORV_T("broken.xml");
  ASSERT_EQ(CreateUtf16TextFile(broken, ORV_T("<image><disk></image>")), 0u);
  EXPECT_EQ(document->Load(broken), 13u);
  EXPECT_EQ(document->Save(0), 6u) << "a document bound to no file cannot be saved";
}

TEST(XmlService, CreatedDocumentIsSavedToItsPath) {
  test::TempFolder folder;
  const WString path = folder / ORV_T("new.xml");
  {
    XmlRef<IOrvXmlDocument> document(GetOrvXmlInterface(0));
    IOrvXmlElement* raw = nullptr;
    ASSERT_EQ(document->Create(path, ORV_T("del"), raw), 0u);
    auto root = AdoptElement(raw);
    ASSERT_EQ(root->AddChild(ORV_T("file"), raw), 0u);
    auto file = AdoptElement(raw);
    ASSERT_EQ(file->SetText(ORV_T("\\Windows\\old.dll")), 0u);
    ASSERT_EQ(document->Save(0), 0u);
  }
  auto document = LoadDocument(path);
  IOrvXmlElement* raw = nullptr;
  ASSERT_EQ(document->SelectNode(ORV_T("del/file"), raw), 0u);
  WString text;
  AdoptElement(raw)->GetText(text);
  EXPECT_EQ(text, ORV_T("\\Windows\\old.dll"));
}

TEST(TextFile, CreateNewLeavesAnExistingFileUnchanged) {
  test::TempFolder folder;
  const WString path = folder / ORV_T("DESC.TXT");
  ASSERT_EQ(CreateUtf16TextFile(path, ORV_T("[Diff]\r\n")), 0u);
  EXPECT_EQ(test::ReadFile(path), std::string("\xFF\xFE[\0D\0i\0f\0f\0]\0\r\0\n\0", 18));
  EXPECT_EQ(CreateUtf16TextFile(path, ORV_T("other")), 80u);
  EXPECT_EQ(test::ReadFile(path).size(), 18u);
}

}  // namespace
}  // namespace orv
