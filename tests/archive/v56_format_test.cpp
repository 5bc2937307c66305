// The bytes of version 5 and 6 archives: header, entry records, the name tree, blocks in
// part files and their rotation at the split size.
#include "archive/part_names.h"
#include "archive_support.h"
#include "platform/errors.h"
#include "platform/little_endian.h"

namespace orv::test {
namespace {

TEST(V56Format, EmptyArchiveHasHeaderRootNodeAndEmptyFirstPart) {
  TempFolder temp;
  const WString path = temp / ORV_T("empty.inp");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
  ASSERT_TRUE(archive.Close());

  const std::vector<uint8_t> main = RawFile(path);
  ASSERT_EQ(main.size(), 40u);
  EXPECT_EQ(std::string(main.begin(), main.begin() + 8), "MRLLIGHT");
  EXPECT_EQ(LoadLE<uint32_t>(&main[8]), 5u);
  EXPECT_EQ(LoadLE<uint64_t>(&main[12]), 0u);
  EXPECT_EQ(LoadLE<uint64_t>(&main[20]), 40u);
  EXPECT_EQ(LoadLE<uint32_t>(&main[28]), 1u);
  EXPECT_EQ(LoadLE<uint32_t>(&main[32]), 0u);
  EXPECT_EQ(LoadLE<uint32_t>(&main[36]), 1u);

  const std::vector<uint8_t> index = RawFile(temp / ORV_T("empty_0000.inp"));
  ASSERT_GE(index.size(), 36u);
  EXPECT_EQ(LoadLE<uint64_t>(&index[0]), 0u);
  EXPECT_EQ(LoadLE<uint64_t>(&index[8]), ~uint64_t{0});
  EXPECT_EQ(LoadLE<uint64_t>(&index[16]), ~uint64_t{0});
  EXPECT_EQ(LoadLE<uint32_t>(&index[24]), 4u);
  EXPECT_EQ(archive::DecodeName(&index[28], 4), ORV_T("Root"));
  EXPECT_EQ(FileSize(temp / ORV_T("empty_0001.inp")), 0u);
}

TEST(V56Format, PartNamesFollowTheExtension) {
  EXPECT_EQ(archive::PartFileName(ORV_T("C:\\a\\b.inp"), 3), ORV_T("C:\\a\\b_0003.inp"));
  EXPECT_EQ(archive::PartFileName(ORV_T("C:\\a\\noext"), 1), ORV_T("C:\\a\\noext_0001"));
  EXPECT_EQ(archive::IndexFileName(ORV_T("C:\\a\\noext")), ORV_T("C:\\a\\noext_0000"));
  EXPECT_EQ(archive::PartFileName(ORV_T("x.y.z"), 12345), ORV_T("x.y_12345.z"));
}

TEST(V56Format, RecordsAndBlocksOfVersion5And6) {
  for (const int version : {5, 6}) {
    TempFolder temp;
    const WString path = temp / ORV_T("a.inp");
    WriteFile(temp / ORV_T("empty"), "");
    WriteFile(temp / ORV_T("mib"), TextBytes(1048576));
    WriteFile(temp / ORV_T("mib1"), TextBytes(1048577));
    COrvMorlet archive;
    ASSERT_TRUE(archive.Open(path.c_str(), 0, version));
    const uint8_t descriptor[] = {1, 2, 3, 4, 5};
    ASSERT_TRUE(archive.AddFile((temp / ORV_T("empty")).c_str(), ORV_T("e"), descriptor, 5, nullptr));
    ASSERT_TRUE(archive.AddFile((temp / ORV_T("mib")).c_str(), ORV_T("m"), nullptr, 0, nullptr));
    ASSERT_TRUE(archive.AddFile((temp / ORV_T("mib1")).c_str(), ORV_T("m1"), nullptr, 0, nullptr));
    ASSERT_TRUE(archive.Close());

    const std::vector<uint8_t> main = RawFile(path);
    const size_t fixed = version == 6 ? 118 : 110;
    const size_t shift = version == 6 ? 8 : 0;
    ASSERT_EQ(main.size(), 40 + 3 * (fixed + 4) + 2);
    const uint8_t* first = &main[40];
    EXPECT_EQ(LoadLE<uint32_t>(first), fixed + 4);
    EXPECT_EQ(LoadLE<uint64_t>(first + 40), 3u);           // the end-marker block
    EXPECT_EQ(LoadLE<uint64_t>(first + 48 + shift), 1u);   // one block
    EXPECT_EQ(LoadLE<uint64_t>(first + 56 + shift), 0u);   // at offset 0
    EXPECT_EQ(LoadLE<uint64_t>(first + 64 + shift), 7u);   // descriptor after it
    EXPECT_EQ(LoadLE<uint32_t>(first + 72 + shift), 1u);
    EXPECT_EQ(LoadLE<uint32_t>(first + 76 + shift), 1u);
    EXPECT_EQ(LoadLE<uint16_t>(first + 108 + shift), 2u);
    EXPECT_EQ(LoadLE<uint64_t>(&main[40 + fixed + 4] + 48 + shift), 1u);       // 1 MiB: one block
    EXPECT_EQ(LoadLE<uint64_t>(&main[40 + 2 * (fixed + 4)] + 48 + shift), 2u);  // + 1 byte: two
    EXPECT_EQ(LoadLE<uint32_t>(&main[40 + 2 * (fixed + 4)] + 76 + shift), 0xFFFFFFFFu);

    const std::vector<uint8_t> part = RawFile(temp / ORV_T("a_0001.inp"));
    ASSERT_GE(part.size(), 16u);
    EXPECT_EQ(LoadLE<uint32_t>(&part[0]), 3u);
    EXPECT_EQ(part[4], 0x11);
    EXPECT_EQ(part[5], 0);
    EXPECT_EQ(part[6], 0);
    EXPECT_EQ(LoadLE<uint32_t>(&part[7]), 5u);
    EXPECT_EQ(part[11], 1);
  }
}

TEST(V56Format, IncompressibleBlocksRotateAtTheSplitSize) {
  TempFolder temp;
  const WString path = temp / ORV_T("split.inp");
  const std::string content = NoiseBytes(3 * 1048576, 7);
  WriteFile(temp / ORV_T("noise"), content);
  {
    COrvMorlet archive;
    ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
    EXPECT_EQ(archive.SetSplitSize(1048576), 1048576u);
    ASSERT_TRUE(archive.AddFile((temp / ORV_T("noise")).c_str(), ORV_T("noise"), nullptr, 0, nullptr));
    ASSERT_TRUE(archive.Close());
  }
  for (int part = 1; part <= 3; ++part)
    EXPECT_GT(FileSize(archive::PartFileName(path, part)), 1048576u) << part;
  EXPECT_EQ(FileSize(archive::PartFileName(path, 4)), 0u);
  const std::vector<uint8_t> main = RawFile(path);
  EXPECT_EQ(LoadLE<uint32_t>(&main[36]), 4u);
  EXPECT_EQ(LoadLE<uint64_t>(&main[40 + 48]), 3u);
  EXPECT_EQ(LoadLE<uint32_t>(&main[40 + 72]), 1u);

  COrvMorlet reader;
  ASSERT_TRUE(reader.Open(path.c_str(), 1, 0));
  ASSERT_TRUE(reader.ExtractFile(ORV_T("noise"), (temp / ORV_T("out")).c_str()));
  EXPECT_TRUE(ReadFile(temp / ORV_T("out\\noise")) == content);
  reader.Close();

  // Without its second part the entry cannot be read back.
  ASSERT_EQ(os::DeleteFile(archive::PartFileName(path, 2)), 0u);
  ASSERT_TRUE(reader.Open(path.c_str(), 1, 0));
  EXPECT_FALSE(reader.ExtractFile(ORV_T("noise"), (temp / ORV_T("out2")).c_str()));
  EXPECT_EQ(reader.GetLastErrorCode(), err::kFileNotFound);
  EXPECT_FALSE(Exists(temp / ORV_T("out2\\noise")));
  reader.Close();
}

TEST(V56Format, NamesDifferingInCaseShareOneNodeAndTheLaterRecordWins) {
  TempFolder temp;
  const WString path = temp / ORV_T("case.inp");
  WriteFile(temp / ORV_T("one"), "first");
  WriteFile(temp / ORV_T("two"), "second");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("one")).c_str(), ORV_T("Dir\\a"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("two")).c_str(), ORV_T("DIR\\A"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("one")).c_str(), ORV_T("\\lead"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());

  // Root, "Dir", "a", "" and "lead": five nodes with 8 bytes of slack each.
  const std::vector<uint8_t> index = RawFile(temp / ORV_T("case_0000.inp"));
  EXPECT_EQ(index.size(), (36u + 8) + (36 + 6) + (36 + 2) + 36 + (36 + 8));
  const uint64_t emptyNode = 44 + 42 + 38;
  EXPECT_EQ(LoadLE<uint64_t>(&index[44 + 16]), emptyNode);  // "Dir" -> sibling ""
  EXPECT_EQ(LoadLE<uint32_t>(&index[emptyNode + 24]), 0u);

  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  ASSERT_TRUE(archive.ExtractFile(ORV_T("dir\\a"), (temp / ORV_T("out")).c_str()));
  Char name[64];
  ASSERT_TRUE(archive.GetEntryName(name, 64));
  EXPECT_EQ(WString(name), ORV_T("DIR\\A"));
  EXPECT_EQ(ReadFile(temp / ORV_T("out\\DIR\\A")), "second");
  // The cursor stands on the found record: the walk goes on from there.
  EXPECT_EQ(EntryNames(archive), (std::vector<WString>{ORV_T("DIR\\A"), ORV_T("\\lead")}));
  archive.Close();
}

TEST(V56Format, TypesAreRecognisedFromTheFirstBytes) {
  TempFolder temp;
  COrvMorlet archive;
  WriteFile(temp / ORV_T("disk.img"), std::string("!XSSXSS!", 8) + std::string(100, '\0'));
  EXPECT_FALSE(archive.Open((temp / ORV_T("disk.img")).c_str(), 1, 0));
  EXPECT_EQ(archive.GetArchiveType(), 3u);
  EXPECT_EQ(archive.GetLastErrorCode(), err::kInvalidData);
  WriteFile(temp / ORV_T("image.wim"), std::string("MSWIM\0\0\0", 8) + std::string(200, '\0'));
  EXPECT_FALSE(archive.Open((temp / ORV_T("image.wim")).c_str(), 1, 0));
  EXPECT_EQ(archive.GetArchiveType(), 4u);
  EXPECT_NE(archive.GetLastErrorCode(), 0u);
  // Anything else is version 1, whose reader then wants its magic.
  WriteFile(temp / ORV_T("text.inp"), "just some text, not an archive");
  EXPECT_FALSE(archive.Open((temp / ORV_T("text.inp")).c_str(), 1, 0));
  EXPECT_EQ(archive.GetArchiveType(), 1u);
  EXPECT_EQ(archive.GetLastErrorCode(), err::kBadFormat);
  WriteFile(temp / ORV_T("short.inp"), std::string("MRLLIGHT\5\0\0\0", 12));
  EXPECT_FALSE(archive.Open((temp / ORV_T("short.inp")).c_str(), 1, 0));
  EXPECT_EQ(archive.GetArchiveType(), 5u);
  EXPECT_EQ(archive.GetLastErrorCode(), err::kBadFormat);
}

}  // namespace
}  // namespace orv::test
