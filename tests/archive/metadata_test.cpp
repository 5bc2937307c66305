// Metadata kept across a round trip: security descriptors, short names, links to files
// and folders, encrypted files through their raw stream, and reparse points that are no
// links (their content is kept).
#include "archive_support.h"
#include "platform/encrypted_file.h"
#include "platform/errors.h"
#include "platform/little_endian.h"

namespace orv::test {
namespace {

// Extracts every entry of `path` into `out`; returns each entry's result.
std::vector<DWORD> ExtractAll(const WString& path, const WString& out) {
  COrvMorlet archive;
  std::vector<DWORD> results;
  if (!archive.Open(path.c_str(), 1, 0)) return {archive.GetLastErrorCode()};
  while (archive.NextEntry(0)) {
    results.push_back(archive.ExtractCurrent(out.c_str(), 1) ? 0 : archive.GetLastErrorCode());
    archive.NextEntry(1);
  }
  archive.Close();
  return results;
}

// Symbolic-link reparse data with a relative target.
std::vector<uint8_t> LinkData(WStringView target) {
  const size_t bytes = 2 * target.size();
  std::vector<uint8_t> data(20 + 2 * bytes, 0);
  StoreLE<uint32_t>(&data[0], os::kReparseTagSymlink);
  StoreLE<uint16_t>(&data[4], static_cast<uint16_t>(data.size() - 8));
  StoreLE<uint16_t>(&data[10], static_cast<uint16_t>(bytes));
  StoreLE<uint16_t>(&data[12], static_cast<uint16_t>(bytes));
  StoreLE<uint16_t>(&data[14], static_cast<uint16_t>(bytes));
  StoreLE<uint32_t>(&data[16], 1);
  archive::EncodeName(target, &data[20]);
  archive::EncodeName(target, &data[20 + bytes]);
  return data;
}

class Metadata : public ::testing::TestWithParam<int> {};

TEST_P(Metadata, DescriptorAndShortNameComeBack) {
  TempFolder temp;
  WriteFile(temp / ORV_T("long file name.txt"), "content");
  const bool shortNames = os::SetShortName(temp / ORV_T("long file name.txt"), ORV_T("LONGFI~1.TXT")) == 0;
  // An owner-less self-relative descriptor: accepted by every system, opaque to the archive.
  const std::vector<uint8_t> descriptor = {1, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const WString path = temp / ORV_T("m.inp");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, GetParam()));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("long file name.txt")).c_str(), ORV_T("long file name.txt"),
                              descriptor.data(), static_cast<DWORD>(descriptor.size()), nullptr));
  ASSERT_TRUE(archive.Close());
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  ASSERT_TRUE(archive.NextEntry(0));
  std::vector<uint8_t> stored;
  ASSERT_TRUE(archive.ReadEntrySecurity(stored));
  EXPECT_EQ(stored, descriptor);
  archive.Close();

  const WString out = temp / ORV_T("out");
  EXPECT_EQ(ExtractAll(path, out), std::vector<DWORD>{0});
  const WString restored = out + ORV_T("\\long file name.txt");
  EXPECT_EQ(ReadFile(restored), "content");
  WString shortName;
  if (shortNames) {
    ASSERT_EQ(os::GetShortName(restored, shortName), 0u);
    EXPECT_EQ(shortName, ORV_T("LONGFI~1.TXT"));
  }
#if !defined(_WIN32)
  // The descriptor bytes are kept whole where the system stores them opaquely.
  std::vector<uint8_t> applied;
  ASSERT_EQ(os::GetSecurity(restored, os::kOwnerSecurity | os::kGroupSecurity | os::kDaclSecurity, applied), 0u);
  EXPECT_EQ(applied, descriptor);
#endif
}

// Version 1 keeps the short name of the folder that holds each file and gives it back to
// that folder when extraction has to create it, not to a folder that was already there.
TEST(MetadataV1, AHoldingFolderCreatedOnExtractionGetsItsShortName) {
  TempFolder temp;
  ASSERT_EQ(os::CreateDirectoryTree(temp / ORV_T("Program Files")), 0u);
  WriteFile(temp / ORV_T("Program Files\\a.txt"), "a");
  if (os::SetShortName(temp / ORV_T("Program Files"), ORV_T("PROGRA~1")) != 0)
    GTEST_SKIP() << "short names cannot be set here";
  const WString path = temp / ORV_T("v1.inp");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 1));
  for (const Char* name : {ORV_T("Program Files\\a.txt"), ORV_T("kept\\a.txt")})
    ASSERT_TRUE(archive.AddFile((temp / ORV_T("Program Files\\a.txt")).c_str(), name, nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());

  const WString out = temp / ORV_T("out");
  ASSERT_EQ(os::CreateDirectoryTree(out + ORV_T("\\kept")), 0u);
  EXPECT_EQ(ExtractAll(path, out), (std::vector<DWORD>{0, 0}));
  WString shortName;
  ASSERT_EQ(os::GetShortName(out + ORV_T("\\Program Files"), shortName), 0u);
  EXPECT_EQ(shortName, ORV_T("PROGRA~1"));
  ASSERT_EQ(os::GetShortName(out + ORV_T("\\kept"), shortName), 0u);
  EXPECT_EQ(shortName, ORV_T(""));
}

// Version 1 stores a link's reparse record as version 2 does, not what it points at.
TEST(MetadataV1, LinksToFilesAreRecreated) {
  TempFolder temp;
  ASSERT_EQ(os::CreateDirectory(temp / ORV_T("src")), 0u);
  WriteFile(temp / ORV_T("src\\file"), "target content");
  WriteFile(temp / ORV_T("src\\filelink"), "");
  if (os::SetReparseData(temp / ORV_T("src\\filelink"), LinkData(ORV_T("file"))) != 0)
    GTEST_SKIP() << "links cannot be made here";
  const WString path = temp / ORV_T("l1.inp");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 1));
  for (const Char* name : {ORV_T("file"), ORV_T("filelink")})
    ASSERT_TRUE(archive.AddFile((temp / (WString(ORV_T("src\\")) + name)).c_str(), name, nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());

  const WString out = temp / ORV_T("out");
  EXPECT_EQ(ExtractAll(path, out), (std::vector<DWORD>{0, 0}));
  std::vector<uint8_t> data;
  ASSERT_EQ(os::GetReparseData(out + ORV_T("\\filelink"), data), 0u) << "no link";
  EXPECT_EQ(LoadLE<uint32_t>(data.data()), os::kReparseTagSymlink);
  EXPECT_EQ(ReadFile(out + ORV_T("\\filelink")), "target content");
}

TEST_P(Metadata, LinksToFilesAndFoldersAreRecreated) {
  TempFolder temp;
  ASSERT_EQ(os::CreateDirectoryTree(temp / ORV_T("src\\folder")), 0u);
  WriteFile(temp / ORV_T("src\\folder\\file"), "target content");
  WriteFile(temp / ORV_T("src\\filelink"), "");
  ASSERT_EQ(os::CreateDirectory(temp / ORV_T("src\\dirlink")), 0u);
  if (os::SetReparseData(temp / ORV_T("src\\filelink"), LinkData(ORV_T("folder\\file"))) != 0 ||
      os::SetReparseData(temp / ORV_T("src\\dirlink"), LinkData(ORV_T("folder"))) != 0)
    GTEST_SKIP() << "links cannot be made here";
  const WString path = temp / ORV_T("l.inp");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, GetParam()));
  for (const Char* name : {ORV_T("folder"), ORV_T("folder\\file"), ORV_T("filelink"), ORV_T("dirlink")})
    ASSERT_TRUE(archive.AddFile((temp / (WString(ORV_T("src\\")) + name)).c_str(), name, nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());

  const WString out = temp / ORV_T("out");
  EXPECT_EQ(ExtractAll(path, out), (std::vector<DWORD>{0, 0, 0, 0}));
  for (const Char* link : {ORV_T("filelink"), ORV_T("dirlink")}) {
    std::vector<uint8_t> data;
    ASSERT_EQ(os::GetReparseData(out + ORV_T("\\") + link, data), 0u) << "no link";
    EXPECT_EQ(LoadLE<uint32_t>(data.data()), os::kReparseTagSymlink);
  }
  // Relative targets stay relative: the links work inside the restored tree.
  EXPECT_EQ(ReadFile(out + ORV_T("\\filelink")), "target content");
  EXPECT_EQ(ReadFile(out + ORV_T("\\dirlink\\file")), "target content");
}

TEST_P(Metadata, EncryptedFilesGoThroughTheirRawStream) {
  TempFolder temp;
  WriteFile(temp / ORV_T("secret"), "secret content");
  const WString raw = temp / ORV_T("secret.raw");
  if (os::ExportEncryptedRaw(temp / ORV_T("secret"), raw) != 0)
    GTEST_SKIP() << "no raw interface to encrypted files here";
  // A name of 250 characters leaves no room for the numbers of the staging name: it
  // gives up its end instead.
  for (const WString& last : {WString(ORV_T("secret")), WString(250, Char('s'))}) {
    const WString path = temp / (WString(ORV_T("e")) + Char('0' + last.size() % 10) + ORV_T(".inp"));
    COrvMorlet archive;
    ASSERT_TRUE(archive.Open(path.c_str(), 0, GetParam()));
    const ORVFILEATTRIBUTEDATA block = BlockWithTimes(os::kAttrArchive | os::kAttrEncrypted, 14, kSomeTime);
    const WString name = ORV_T("dir\\") + last;
    ASSERT_TRUE(archive.AddFile(raw.c_str(), name.c_str(), nullptr, 0, &block));
    ASSERT_TRUE(archive.Close());

    ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
    ASSERT_TRUE(archive.NextEntry(0));
    Char tempName[300];
    ASSERT_TRUE(archive.GetEntryTempName(tempName, 300));
    EXPECT_EQ(WString(tempName).rfind(last.substr(0, 200), 0), 0u);
    EXPECT_LE(WString(tempName).size(), 255u);
    const WString out = temp / ORV_T("out");
    const bool restored = archive.ExtractCurrent(out.c_str(), 1);
    archive.Close();
#if !defined(_WIN32)
    EXPECT_TRUE(restored) << "the stand-in raw stream imports on Linux";
#endif
    const WString target = out + ORV_T("\\") + name;
    if (restored) {
      DWORD attributes = 0;
      ASSERT_EQ(os::GetAttributes(target, attributes), 0u);
      EXPECT_TRUE(attributes & os::kAttrEncrypted);
      EXPECT_EQ(ReadFile(target), "secret content");
    } else {
      // No import here: the raw stream is kept for a later import, never passed off as the file.
      EXPECT_FALSE(Exists(target));
    }
  }
}

TEST_P(Metadata, ReparsePointsThatAreNoLinksKeepTheirContent) {
  TempFolder temp;
  WriteFile(temp / ORV_T("dedup"), "deduplicated content");
  std::vector<uint8_t> data(8 + 16, 0x5A);
  StoreLE<uint32_t>(&data[0], 0x80000013);  // a deduplication tag: no name surrogate
  StoreLE<uint16_t>(&data[4], 16);
  StoreLE<uint16_t>(&data[6], 0);
  if (os::SetReparseData(temp / ORV_T("dedup"), data) != 0) GTEST_SKIP() << "no such reparse points here";
  const WString path = temp / ORV_T("d.inp");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, GetParam()));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("dedup")).c_str(), ORV_T("dedup"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  ASSERT_TRUE(archive.NextEntry(0));
  EXPECT_FALSE(archive.GetEntryAttributes().dwFileAttributes & os::kAttrReparsePoint);
  archive.Close();
  EXPECT_EQ(ExtractAll(path, temp / ORV_T("out")), std::vector<DWORD>{0});
  EXPECT_EQ(ReadFile(temp / ORV_T("out\\dedup")), "deduplicated content");
}

INSTANTIATE_TEST_SUITE_P(Versions, Metadata, ::testing::Values(2, 5, 6));

}  // namespace
}  // namespace orv::test
