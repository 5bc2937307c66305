// Image verification over images made with the library's own writers: archives of
// versions 2, 5 and 6 with BASE.XML and ALL.CRC beside them, then damaged the ways an
// image gets damaged (a flipped byte, a lost part file, a catalogue out of step with
// the archives) or made hostile on purpose.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/archive_support.h"
#include "archive/part_names.h"
#include "image/catalogue_crc.h"
#include "image/catalogue_xml.h"
#include "image/verify_image.h"
#include "platform/encoding.h"
#include "platform/little_endian.h"

namespace orv::test {
namespace {

struct SourceEntry {
  const Char* name;
  std::string content;  // empty for a folder
};

class VerifyImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(os::CreateDirectory(source_), 0u);
    ASSERT_EQ(os::CreateDirectory(source_ + ORV_T("\\sub")), 0u);
    for (const SourceEntry& entry : entries_)
      if (!entry.content.empty()) WriteFile(source_ + ORV_T("\\") + entry.name, entry.content);
  }

  // A partition folder whose BASE.INP holds the source entries, written in `version`;
  // ALL.CRC lists `listed` (the source entries when empty).
  void MakeFolder(const WString& folder, int version, uint64_t splitSize = 0,
                  std::vector<WString> listed = {}) {
    ASSERT_EQ(os::CreateDirectoryTree(folder), 0u);
    COrvMorlet archive;
    ASSERT_TRUE(archive.Open((folder + ORV_T("\\BASE.INP")).c_str(), 0, version));
    if (splitSize != 0) archive.SetSplitSize(splitSize);
    for (const SourceEntry& entry : entries_)
      ASSERT_TRUE(archive.AddFile((source_ + ORV_T("\\") + entry.name).c_str(), entry.name, nullptr, 0, nullptr));
    ASSERT_TRUE(archive.Close());

    if (listed.empty())
      for (const SourceEntry& entry : entries_) listed.push_back(entry.name);
    CrcCatalogueWriter crc;
    ASSERT_EQ(crc.Open(folder + ORV_T("\\ALL.CRC"), false), 0u);
    for (const WString& name : listed) {
      const auto entry = std::find_if(entries_.begin(), entries_.end(),
                                      [&](const SourceEntry& e) { return name == e.name; });
      const bool directory = entry != entries_.end() && entry->content.empty();
      const uint64_t size = entry != entries_.end() ? entry->content.size() : 7;
      ASSERT_EQ(crc.Append(name, directory ? kCrcDirectoryMarker : kCrcFileMarker, size, 0), 0u);
    }
    ASSERT_EQ(crc.Close(), 0u);
    CatalogueDocument base = OpenCatalogueDocument(folder + ORV_T("\\BASE.XML"), ORV_T("image"));
    ASSERT_EQ(FinishBaseCatalogue(base, 0, {ORV_T("BASE.INP")}), 0u);
  }

  static ImageVerification Verify(const WString& folder) {
    return VerifyImage(folder, [](uint64_t, uint64_t) { return true; });
  }

  // Whether a finding names this file and entry (any entry when `entry` is null).
  static bool Found(const ImageVerification& result, WStringView file, const Char* entry = nullptr) {
    for (const FolderVerification& folder : result.folders)
      for (const VerifyFinding& finding : folder.findings)
        if (finding.file == file && (entry == nullptr || finding.entry == entry)) return true;
    return false;
  }

  static std::string Describe(const ImageVerification& result) {
    std::string text = "error " + std::to_string(result.error) + "\n";
    for (const FolderVerification& folder : result.folders)
      for (const VerifyFinding& finding : folder.findings)
        text += os::ToUtf8(finding.file + ORV_T(": ") + finding.entry + ORV_T(": ") + finding.problem) + "\n";
    return text;
  }

  // Flips every bit of the byte at `offset` of `path`.
  static void FlipByte(const WString& path, uint64_t offset) {
    std::vector<uint8_t> bytes = RawFile(path);
    ASSERT_LT(offset, bytes.size());
    bytes[offset] ^= 0xFF;
    WriteRaw(path, bytes);
  }

  TempFolder temp_;
  WString source_ = temp_ / ORV_T("source");
  WString image_ = temp_ / ORV_T("image");
  std::vector<SourceEntry> entries_ = {
      {ORV_T("a.txt"), TextBytes(200000)},
      {ORV_T("big.bin"), NoiseBytes(3 * archive::kBlockSize + 100, 7)},
      {ORV_T("sub"), ""},
      {ORV_T("sub\\c.txt"), "c"},
  };
};

TEST_F(VerifyImageTest, GoodImagesPassInEveryVersionAndEveryFolderOfATreeIsVerified) {
  for (const int version : {2, 5, 6}) {
    const WString folder = image_ + ORV_T("\\v") + static_cast<Char>('0' + version);
    MakeFolder(folder, version);
    const ImageVerification result = Verify(folder);
    EXPECT_TRUE(result.AllWell()) << "version " << version << "\n" << Describe(result);
    ASSERT_EQ(result.folders.size(), 1u);
    EXPECT_EQ(result.folders[0].entries, entries_.size());
    EXPECT_EQ(result.folders[0].archives, 1u);
  }
  // A PRELOAD tree: both partition folders, in order; a part-split version 5 archive.
  const WString tree = temp_ / ORV_T("tree");
  MakeFolder(tree + ORV_T("\\PRELOAD\\DISK0\\PART1"), 2);
  MakeFolder(tree + ORV_T("\\PRELOAD\\DISK0\\PART2"), 5, archive::kBlockSize);
  ASSERT_TRUE(Exists(tree + ORV_T("\\PRELOAD\\DISK0\\PART2\\BASE_0003.INP")));
  const ImageVerification result = Verify(tree);
  EXPECT_TRUE(result.AllWell()) << Describe(result);
  ASSERT_EQ(result.folders.size(), 2u);
  EXPECT_NE(result.folders[1].folder.find(ORV_T("PART2")), WString::npos);

  // A folder that holds no image is no success.
  EXPECT_EQ(Verify(source_).error, 0u);
  EXPECT_TRUE(Verify(source_).folders.empty());
  EXPECT_FALSE(Verify(source_).AllWell());
  EXPECT_EQ(Verify(temp_ / ORV_T("nowhere")).error, 2u);
}

TEST_F(VerifyImageTest, AFlippedByteInABlockIsFoundInItsEntry) {
  // Version 2: a byte in the middle of a.txt's one deflate block (its data starts at
  // 40, after the header, since it was added first).
  MakeFolder(image_, 2);
  const std::vector<uint8_t> v2 = RawFile(image_ + ORV_T("\\BASE.INP"));
  FlipByte(image_ + ORV_T("\\BASE.INP"), 40 + 4 + LoadLE<uint32_t>(v2.data() + 40) / 2);
  ImageVerification result = Verify(image_);
  EXPECT_TRUE(Found(result, ORV_T("BASE.INP"), ORV_T("a.txt"))) << Describe(result);
  EXPECT_FALSE(Found(result, ORV_T("BASE.INP"), ORV_T("big.bin"))) << Describe(result);

  // Version 5: the end marker at the end of a.txt's one LZO block.
  const WString v5 = temp_ / ORV_T("v5");
  MakeFolder(v5, 5);
  COrvMorlet reader;
  ASSERT_TRUE(reader.Open((v5 + ORV_T("\\BASE.INP")).c_str(), 1, 0));
  ASSERT_TRUE(reader.FindEntry(ORV_T("a.txt")));
  const uint64_t offset = reader.CurrentRecord().dataOffset;
  reader.Close();
  const WString part = v5 + ORV_T("\\BASE_0001.INP");
  const std::vector<uint8_t> bytes = RawFile(part);
  const uint32_t length = LoadLE<uint32_t>(bytes.data() + offset);
  FlipByte(part, offset + 4 + length - 1);
  result = Verify(v5);
  EXPECT_TRUE(Found(result, ORV_T("BASE.INP"), ORV_T("a.txt"))) << Describe(result);
  EXPECT_FALSE(result.AllWell());
}

TEST_F(VerifyImageTest, AMissingPartIsNamedAndTheEntriesInItFail) {
  MakeFolder(image_, 5, archive::kBlockSize);
  ASSERT_EQ(os::DeleteFile(image_ + ORV_T("\\BASE_0002.INP")), 0u);
  const ImageVerification result = Verify(image_);
  EXPECT_TRUE(Found(result, ORV_T("BASE_0002.INP"))) << Describe(result);
  EXPECT_TRUE(Found(result, ORV_T("BASE.INP"), ORV_T("big.bin"))) << Describe(result);
  EXPECT_FALSE(Found(result, ORV_T("BASE.INP"), ORV_T("a.txt"))) << Describe(result);
}

TEST_F(VerifyImageTest, ALineWithoutEntryAndAnEntryWithoutLineAreBothFound) {
  MakeFolder(image_, 6, 0, {ORV_T("a.txt"), ORV_T("big.bin"), ORV_T("sub"), ORV_T("ghost.txt")});
  const ImageVerification result = Verify(image_);
  EXPECT_TRUE(Found(result, ORV_T("ALL.CRC"), ORV_T("ghost.txt"))) << Describe(result);
  EXPECT_TRUE(Found(result, ORV_T("BASE.INP"), ORV_T("sub\\c.txt"))) << Describe(result);
  ASSERT_EQ(result.folders.size(), 1u);
  EXPECT_EQ(result.folders[0].findings.size(), 2u) << Describe(result);

  // A differential image folder lists the whole volume, and holds only what changed.
  WriteFile(image_ + ORV_T("\\DEL.XML"), "");
  const ImageVerification differential = Verify(image_);
  EXPECT_FALSE(Found(differential, ORV_T("ALL.CRC"), ORV_T("ghost.txt"))) << Describe(differential);
  EXPECT_TRUE(Found(differential, ORV_T("BASE.INP"), ORV_T("sub\\c.txt"))) << Describe(differential);
}

TEST_F(VerifyImageTest, HostileImagesAreReportedNotTrusted) {
  // An entry named to climb out of the volume; a block count far beyond the data.
  MakeFolder(image_, 5);
  {
    COrvMorlet archive;
    ASSERT_TRUE(archive.Open((image_ + ORV_T("\\BASE.INP")).c_str(), 1, 0));
    ASSERT_TRUE(archive.Close());
    ASSERT_TRUE(archive.Open((image_ + ORV_T("\\BASE.INP")).c_str(), 0, 5));
    ASSERT_TRUE(archive.AddFile((source_ + ORV_T("\\sub\\c.txt")).c_str(), ORV_T("x\\..\\..\\evil"), nullptr, 0, nullptr));
    ASSERT_TRUE(archive.Close());
  }
  const WString main = image_ + ORV_T("\\BASE.INP");
  std::vector<uint8_t> bytes = RawFile(main);
  // a.txt's record comes first, at 40; its block count lies at 48 within it.
  StoreLE<uint64_t>(bytes.data() + archive::kV56HeaderSize + 48, uint64_t{1} << 40);
  WriteRaw(main, bytes);
  ImageVerification result = Verify(image_);
  EXPECT_TRUE(Found(result, ORV_T("BASE.INP"), ORV_T("x\\..\\..\\evil"))) << Describe(result);
  EXPECT_TRUE(Found(result, ORV_T("BASE.INP"), ORV_T("a.txt"))) << Describe(result);

  // A part file cut short, an entry record cut short, and a catalogue that names a file
  // outside the folder (which is not opened, and leaves the folder with no archive).
  const WString cut = temp_ / ORV_T("cut");
  MakeFolder(cut, 5);
  const WString part = cut + ORV_T("\\BASE_0001.INP");
  bytes = RawFile(part);
  bytes.resize(bytes.size() / 2);
  WriteRaw(part, bytes);
  bytes = RawFile(cut + ORV_T("\\BASE.INP"));
  bytes.resize(bytes.size() - 3);
  WriteRaw(cut + ORV_T("\\BASE.INP"), bytes);
  result = Verify(cut);
  EXPECT_TRUE(Found(result, ORV_T("BASE.INP"), ORV_T("big.bin"))) << Describe(result);
  EXPECT_TRUE(Found(result, ORV_T("BASE.INP"), ORV_T(""))) << Describe(result);

  const WString named = temp_ / ORV_T("named");
  MakeFolder(named, 2);
  ASSERT_EQ(os::DeleteFile(named + ORV_T("\\BASE.XML")), 0u);
  ASSERT_EQ(os::DeleteFile(named + ORV_T("\\BASE.INP")), 0u);
  CatalogueDocument base = OpenCatalogueDocument(named + ORV_T("\\BASE.XML"), ORV_T("image"));
  ASSERT_EQ(FinishBaseCatalogue(base, 0, {ORV_T("..\\..\\x")}), 0u);
  result = Verify(named);
  EXPECT_TRUE(Found(result, ORV_T("BASE.XML"), ORV_T("..\\..\\x"))) << Describe(result);
  EXPECT_TRUE(Found(result, ORV_T("BASE.INP"))) << Describe(result);
}

}  // namespace
}  // namespace orv::test
