// Archives that try to hurt: names leaving the target, links inside it, lengths and
// offsets that lie. Each must fail cleanly, write nothing outside the target, and end.
#include "archive/part_names.h"
#include "archive/target_path.h"
#include "archive_support.h"
#include "platform/encrypted_file.h"
#include "platform/errors.h"
#include "platform/little_endian.h"

namespace orv::test {
namespace {

// Reparse data of a symbolic link with a relative target.
std::vector<uint8_t> RelativeLinkData(WStringView target) {
  const size_t bytes = 2 * target.size();
  std::vector<uint8_t> data(20 + 2 * bytes, 0);
  StoreLE<uint32_t>(&data[0], os::kReparseTagSymlink);
  StoreLE<uint16_t>(&data[4], static_cast<uint16_t>(data.size() - 8));
  StoreLE<uint16_t>(&data[8], 0);                             // substitute name
  StoreLE<uint16_t>(&data[10], static_cast<uint16_t>(bytes));
  StoreLE<uint16_t>(&data[12], static_cast<uint16_t>(bytes)); // print name
  StoreLE<uint16_t>(&data[14], static_cast<uint16_t>(bytes));
  StoreLE<uint32_t>(&data[16], 1);                            // relative
  archive::EncodeName(target, &data[20]);
  archive::EncodeName(target, &data[20 + bytes]);
  return data;
}

// A folder link at `link` to `target` (relative); false where links cannot be made.
bool MakeFolderLink(const WString& link, WStringView target) {
  if (os::CreateDirectory(link) != 0) return false;
  if (os::SetReparseData(link, RelativeLinkData(target)) == 0) return true;
  os::RemoveDirectory(link);
  return false;
}

TEST(HostileInput, NamesThatLeaveTheTargetAreRefused) {
  for (const Char* name : {ORV_T("..\\evil"), ORV_T("a\\..\\..\\evil"), ORV_T("C:\\evil"),
                           ORV_T("C:evil"), ORV_T("\\\\server\\share\\evil"), ORV_T("//server/evil"),
                           ORV_T("/tmp/evil"), ORV_T("a/../../evil"), ORV_T("a\\. .\\..."),
                           ORV_T("file:stream")})
    EXPECT_FALSE(archive::IsSafeEntryName(name)) << "accepted";
  for (const Char* name : {ORV_T("a"), ORV_T("a\\b.c"), ORV_T("\\lead"), ORV_T("..a"),
                           ORV_T("a..b\\c"), ORV_T(".hidden"), ORV_T("")})
    EXPECT_TRUE(archive::IsSafeEntryName(name)) << "refused";

  for (const int version : {1, 2, 5}) {
    TempFolder temp;
    const WString path = temp / ORV_T("evil.inp");
    WriteFile(temp / ORV_T("payload"), "payload");
    COrvMorlet archive;
    ASSERT_TRUE(archive.Open(path.c_str(), 0, version));
    for (const Char* name : {ORV_T("..\\evil"), ORV_T("fine"), ORV_T("x\\..\\..\\evil2")})
      ASSERT_TRUE(archive.AddFile((temp / ORV_T("payload")).c_str(), name, nullptr, 0, nullptr));
    ASSERT_TRUE(archive.Close());

    ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
    const WString out = temp / ORV_T("out");
    std::vector<DWORD> results;
    while (archive.NextEntry(0)) {
      results.push_back(archive.ExtractCurrent(out.c_str(), 1) ? 0 : archive.GetLastErrorCode());
      archive.NextEntry(1);
    }
    archive.Close();
    EXPECT_EQ(results, (std::vector<DWORD>{err::kInvalidName, 0, err::kInvalidName})) << version;
    EXPECT_EQ(ReadFile(out + ORV_T("\\fine")), "payload");
    EXPECT_FALSE(Exists(temp / ORV_T("evil")));
    EXPECT_FALSE(Exists(temp / ORV_T("evil2")));
  }
}

TEST(HostileInput, ExtractionNeverWritesThroughALinkInsideTheTarget) {
  TempFolder temp;
  ASSERT_EQ(os::CreateDirectory(temp / ORV_T("outside")), 0u);
  ASSERT_EQ(os::CreateDirectory(temp / ORV_T("src")), 0u);
  if (!MakeFolderLink(temp / ORV_T("src\\a"), ORV_T("..\\outside")))
    GTEST_SKIP() << "links cannot be made here";
  WriteFile(temp / ORV_T("payload"), "payload");

  // The archive first makes "a" a link out of the target, then writes through it.
  const WString path = temp / ORV_T("link.inp");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("src\\a")).c_str(), ORV_T("a"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("payload")).c_str(), ORV_T("a\\b"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("payload")).c_str(), ORV_T("a\\c\\d"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());

  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  const WString out = temp / ORV_T("out");
  ASSERT_EQ(os::CreateDirectory(out), 0u);
  std::vector<DWORD> results;
  while (archive.NextEntry(0)) {
    results.push_back(archive.ExtractCurrent(out.c_str(), 1) ? 0 : archive.GetLastErrorCode());
    archive.NextEntry(1);
  }
  archive.Close();
  EXPECT_EQ(results, (std::vector<DWORD>{0, err::kInvalidName, err::kInvalidName}));
  os::FileInfo info;
  ASSERT_EQ(os::GetInfo(out + ORV_T("\\a"), info), 0u);
  EXPECT_TRUE(info.attributes & os::kAttrReparsePoint);  // the link itself is restored
  EXPECT_FALSE(Exists(temp / ORV_T("outside\\b")));
  EXPECT_FALSE(Exists(temp / ORV_T("outside\\c")));
}

// A file link at `link` to `target` (relative); false where links cannot be made.
bool MakeFileLink(const WString& link, WStringView target) {
  WriteFile(link, "");
  if (os::SetReparseData(link, RelativeLinkData(target)) == 0) return true;
  os::DeleteFile(link);
  return false;
}

// Extracts every entry of the archive at `path` into `out`; the result of each.
std::vector<DWORD> ExtractAll(const WString& path, const WString& out) {
  COrvMorlet archive;
  EXPECT_TRUE(archive.Open(path.c_str(), 1, 0));
  std::vector<DWORD> results;
  while (archive.NextEntry(0)) {
    results.push_back(archive.ExtractCurrent(out.c_str(), 1) ? 0 : archive.GetLastErrorCode());
    archive.NextEntry(1);
  }
  archive.Close();
  return results;
}

// Earlier entries leave links where later ones write: at a name a staging file might
// take, and at the very names of a plain and an encrypted file. The files replace the
// links; nothing outside the target changes.
TEST(HostileInput, LinksLeftByEarlierEntriesAreReplacedNeverWrittenThrough) {
  for (const int version : {2, 5}) {
    TempFolder temp;
    const WString victim = temp / ORV_T("victim.txt");
    WriteFile(victim, "victim");
    if (!MakeFileLink(temp / ORV_T("link"), ORV_T("..\victim.txt")))
      GTEST_SKIP() << "links cannot be made here";
    WriteFile(temp / ORV_T("payload"), "payload");
    WriteFile(temp / ORV_T("secret"), "secret content");
    const WString raw = temp / ORV_T("secret.raw");
    const bool encrypted = os::ExportEncryptedRaw(temp / ORV_T("secret"), raw) == 0;
    const ORVFILEATTRIBUTEDATA sealed =
        BlockWithTimes(os::kAttrArchive | os::kAttrEncrypted, 14, kSomeTime);

    const WString path = temp / ORV_T("planted.inp");
    COrvMorlet archive;
    ASSERT_TRUE(archive.Open(path.c_str(), 0, version));
    const WString link = temp / ORV_T("link");
    const WString payload = temp / ORV_T("payload");
    for (const Char* name : {ORV_T("y.vantrel-partial"), ORV_T("z"), ORV_T("s")})
      ASSERT_TRUE(archive.AddFile(link.c_str(), name, nullptr, 0, nullptr));
    ASSERT_TRUE(archive.AddFile(payload.c_str(), ORV_T("y"), nullptr, 0, nullptr));
    ASSERT_TRUE(archive.AddFile(payload.c_str(), ORV_T("Z"), nullptr, 0, nullptr));
    if (encrypted) {
      ASSERT_TRUE(archive.AddFile(raw.c_str(), ORV_T("s"), nullptr, 0, &sealed));
    }
    ASSERT_TRUE(archive.Close());

    const WString out = temp / ORV_T("out");
    ASSERT_EQ(os::CreateDirectory(out), 0u);
    const std::vector<DWORD> results = ExtractAll(path, out);
    EXPECT_EQ(ReadFile(victim), "victim") << version;
    ASSERT_GE(results.size(), 5u);
    EXPECT_EQ(std::vector<DWORD>(results.begin(), results.begin() + 5),
              (std::vector<DWORD>{0, 0, 0, 0, 0}));
    EXPECT_EQ(ReadFile(out + ORV_T("\\y")), "payload");
    EXPECT_EQ(ReadFile(out + ORV_T("\\Z")), "payload");
    os::FileInfo info;
    ASSERT_EQ(os::GetInfo(out + ORV_T("\\z"), info), 0u);
    EXPECT_FALSE(info.attributes & os::kAttrReparsePoint);
    if (encrypted && results.back() == 0) {
      EXPECT_EQ(ReadFile(out + ORV_T("\\s")), "secret content");
    }
  }
}

// Links planted at the names of the part files an archive writes are replaced, never
// written through.
TEST(HostileInput, LinksAtThePartNamesAreReplacedNeverWrittenThrough) {
  TempFolder temp;
  const WString victim = temp / ORV_T("victim.txt");
  WriteFile(victim, "victim");
  const WString path = temp / ORV_T("a.inp");
  for (const DWORD part : {1u, 2u})
    if (!MakeFileLink(archive::PartFileName(path, part), ORV_T("victim.txt")))
      GTEST_SKIP() << "links cannot be made here";
  WriteFile(temp / ORV_T("payload"), std::string(200000, 'p'));
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
  archive.SetSplitSize(1000);  // the first block fills part 1, the next goes to part 2
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("payload")).c_str(), ORV_T("f"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("payload")).c_str(), ORV_T("g"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());
  EXPECT_EQ(ReadFile(victim), "victim");
  for (const DWORD part : {1u, 2u}) {
    os::FileInfo info;
    ASSERT_EQ(os::GetInfo(archive::PartFileName(path, part), info), 0u) << part;
    EXPECT_FALSE(info.attributes & os::kAttrReparsePoint) << part;
  }
  const WString out = temp / ORV_T("out");
  ASSERT_EQ(os::CreateDirectory(out), 0u);
  EXPECT_EQ(ExtractAll(path, out), (std::vector<DWORD>{0, 0}));
  EXPECT_EQ(ReadFile(out + ORV_T("\\g")), std::string(200000, 'p'));
}

// Adding to an archive whose last part has become a link fails, and writes nothing
// through the link.
TEST(HostileInput, ALinkInPlaceOfTheLastPartIsNotAppendedTo) {
  TempFolder temp;
  const WString victim = temp / ORV_T("victim.txt");
  WriteFile(victim, "victim");
  const WString path = temp / ORV_T("a.inp");
  WriteFile(temp / ORV_T("payload"), "payload");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("payload")).c_str(), ORV_T("f"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());
  ASSERT_EQ(os::DeleteFile(archive::PartFileName(path, 1)), 0u);
  if (!MakeFileLink(archive::PartFileName(path, 1), ORV_T("victim.txt")))
    GTEST_SKIP() << "links cannot be made here";
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
  EXPECT_FALSE(archive.AddFile((temp / ORV_T("payload")).c_str(), ORV_T("g"), nullptr, 0, nullptr));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kCantAccessFile);
  archive.Close();
  EXPECT_EQ(ReadFile(victim), "victim");
}

// The caller's own target folder may be reached through a link; only links inside it
// are refused.
TEST(HostileInput, ATargetFolderReachedThroughALinkIsWrittenInto) {
  TempFolder temp;
  ASSERT_EQ(os::CreateDirectory(temp / ORV_T("real")), 0u);
  if (!MakeFolderLink(temp / ORV_T("via"), ORV_T("real")))
    GTEST_SKIP() << "links cannot be made here";
  WriteFile(temp / ORV_T("payload"), "payload");
  const WString path = temp / ORV_T("t.inp");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("payload")).c_str(), ORV_T("f"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());
  EXPECT_EQ(ExtractAll(path, temp / ORV_T("via")), std::vector<DWORD>{0});
  EXPECT_EQ(ReadFile(temp / ORV_T("real\\f")), "payload");
}

// A version 5 archive with one file, for patching.
WString OneFileArchive(const TempFolder& temp, const std::string& content) {
  const WString path = temp / ORV_T("a.inp");
  WriteFile(temp / ORV_T("f"), content);
  COrvMorlet archive;
  EXPECT_TRUE(archive.Open(path.c_str(), 0, 5));
  EXPECT_TRUE(archive.AddFile((temp / ORV_T("f")).c_str(), ORV_T("dir\\f"), nullptr, 0, nullptr));
  EXPECT_TRUE(archive.Close());
  return path;
}

TEST(HostileInput, IndexCyclesAndStrayOffsetsEndTheLookup) {
  TempFolder temp;
  const WString path = OneFileArchive(temp, "x");
  const WString index = archive::IndexFileName(path);
  std::vector<uint8_t> bytes = RawFile(index);
  const uint64_t dirNode = LoadLE<uint64_t>(&bytes[8]);
  StoreLE<uint64_t>(&bytes[dirNode + 16], dirNode);  // "dir" is its own next sibling
  WriteRaw(index, bytes);
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_FALSE(archive.FindEntry(ORV_T("other")));
  EXPECT_TRUE(archive.FindEntry(ORV_T("dir\\f")));
  archive.Close();

  StoreLE<uint64_t>(&bytes[dirNode + 16], 0xFFFFFFFFFF00ull);  // far past the end
  StoreLE<uint32_t>(&bytes[dirNode + 24], 0x7FFFFFFF);        // an impossible name length
  WriteRaw(index, bytes);
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_FALSE(archive.FindEntry(ORV_T("dir\\f")));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kNoMoreItems);
  archive.Close();
}

TEST(HostileInput, LyingRecordsAndBlocksFailWithoutLoopingOrHugeBuffers) {
  TempFolder temp;
  const WString path = OneFileArchive(temp, TextBytes(5000));
  const std::vector<uint8_t> main = RawFile(path);
  COrvMorlet archive;

  std::vector<uint8_t> patched = main;
  StoreLE<uint32_t>(&patched[40], 0);  // record length 0
  WriteRaw(path, patched);
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_FALSE(archive.NextEntry(1));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kFileCorrupt);
  archive.Close();

  patched = main;
  StoreLE<uint32_t>(&patched[40 + 72], 0xFFFFFFF0);  // a part that does not exist
  WriteRaw(path, patched);
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_FALSE(archive.ExtractFile(ORV_T("dir\\f"), (temp / ORV_T("out")).c_str()));
  archive.Close();

  patched = main;
  StoreLE<uint64_t>(&patched[40 + 48], 1000000000000ull);  // more blocks than the part holds
  WriteRaw(path, patched);
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_FALSE(archive.ExtractFile(ORV_T("dir\\f"), (temp / ORV_T("out")).c_str()));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kNoMoreItems);
  archive.Close();
  WriteRaw(path, main);

  const WString part = archive::PartFileName(path, 1);
  std::vector<uint8_t> block = RawFile(part);
  StoreLE<uint32_t>(&block[0], 0xFFFFFFF0);  // a block length no writer makes
  WriteRaw(part, block);
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_FALSE(archive.ExtractFile(ORV_T("dir\\f"), (temp / ORV_T("out")).c_str()));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kInternalError);
  archive.Close();
  EXPECT_FALSE(Exists(temp / ORV_T("out\\dir\\f")));
}

// Content that does not come to the recorded size: a block count cut by one, a size
// that claims less or more. Each fails with 1392; the file already at the target stays
// and nothing is written beyond the recorded size.
TEST(HostileInput, ContentOfAnotherSizeThanRecordedFails) {
  TempFolder temp;
  const WString path = OneFileArchive(temp, NoiseBytes(2 * 1048576 + 5, 7));
  const std::vector<uint8_t> main = RawFile(path);
  ASSERT_EQ(LoadLE<uint64_t>(&main[40 + 48]), 3u);
  const WString out = temp / ORV_T("out");
  ASSERT_EQ(os::CreateDirectoryTree(out + ORV_T("\\dir")), 0u);
  WriteFile(out + ORV_T("\\dir\\f"), "precious");
  const auto patch = [&](size_t offset, uint64_t value, size_t width) {
    std::vector<uint8_t> patched = main;
    if (width == 8) StoreLE<uint64_t>(&patched[offset], value);
    else StoreLE<uint32_t>(&patched[offset], static_cast<uint32_t>(value));
    WriteRaw(path, patched);
    COrvMorlet archive;
    EXPECT_TRUE(archive.Open(path.c_str(), 1, 0));
    EXPECT_FALSE(archive.ExtractFile(ORV_T("dir\\f"), out.c_str()));
    EXPECT_EQ(archive.GetLastErrorCode(), err::kFileCorrupt) << offset;
    archive.Close();
    EXPECT_EQ(ReadFile(out + ORV_T("\\dir\\f")), "precious");
  };
  patch(40 + 48, 2, 8);                 // one block fewer: the file would come back short
  patch(40 + 4 + 32, 1048576, 4);       // size low: fewer bytes than the blocks hold
  patch(40 + 4 + 28, 1, 4);             // size high: more than the blocks hold
  EXPECT_EQ(FolderNames(out + ORV_T("\\dir")), std::vector<WString>{ORV_T("f")});
}

// A version 2 archive whose table is given whole.
void WriteV2(const WString& path, const std::vector<uint8_t>& data, const std::vector<uint8_t>& table) {
  std::vector<uint8_t> bytes(40, 0);
  archive::V12Header header;
  header.version = 2;
  header.dataStart = 40;
  header.tableOffset = 40 + data.size();
  header.tableSize = static_cast<DWORD>(table.size());
  header.capacity = 1 << 30;
  archive::EncodeV12Header(header, bytes.data());
  bytes.insert(bytes.end(), data.begin(), data.end());
  bytes.insert(bytes.end(), table.begin(), table.end());
  WriteRaw(path, bytes);
}

std::vector<uint8_t> V2Entry(size_t nameChars, uint32_t lengthField) {
  std::vector<uint8_t> entry(91 + 2 * nameChars, 0);
  StoreLE<uint32_t>(&entry[0], lengthField);
  StoreLE<uint32_t>(&entry[4], os::kAttrDirectory);
  StoreLE<uint16_t>(&entry[84], static_cast<uint16_t>(nameChars));
  StoreLE<uint16_t>(&entry[88], 92);
  for (size_t i = 0; i + 1 < nameChars; ++i) entry[90 + 2 * i] = 'n';
  return entry;
}

TEST(HostileInput, Version2TableWalkEnds) {
  TempFolder temp;
  const WString path = temp / ORV_T("t.inp");
  COrvMorlet archive;

  // Names of 1024 characters are read; 1025 ends the walk there.
  std::vector<uint8_t> table = V2Entry(1024, 91 + 2 * 1024);
  const std::vector<uint8_t> second = V2Entry(1025, 91 + 2 * 1025);
  table.insert(table.end(), second.begin(), second.end());
  WriteV2(path, {}, table);
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_EQ(EntryNames(archive).size(), 1u);
  archive.Close();

  // An entry length of 0 does not walk for ever.
  WriteV2(path, {}, V2Entry(3, 0));
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_EQ(EntryNames(archive).size(), 0u);
  archive.Close();

  // A table that claims more bytes than the file holds.
  std::vector<uint8_t> header(40, 0);
  archive::V12Header claims;
  claims.version = 2;
  claims.tableOffset = 40;
  claims.tableSize = 0xFFFFFFF0;
  archive::EncodeV12Header(claims, header.data());
  WriteRaw(path, header);
  EXPECT_FALSE(archive.Open(path.c_str(), 1, 0));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kFileCorrupt);

  // A (sparse) file big enough for a table that no 32-bit process should hold: versions
  // 1 and 2 refuse it with 8 instead of trying.
  for (const DWORD version : {1u, 2u}) {
    claims.version = version;
    claims.tableSize = 0xC0000000;
    archive::EncodeV12Header(claims, header.data());
    WriteRaw(path, header);
    os::File file;
    ASSERT_EQ(file.Open(path, os::kGenericWrite, 0, os::Disposition::kOpenExisting), 0u);
    ASSERT_EQ(file.Seek(0xC0001000ll, os::SeekFrom::kBegin), 0u);
    ASSERT_EQ(file.SetEnd(), 0u);
    file.Close();
    EXPECT_FALSE(archive.Open(path.c_str(), 1, 0));
    EXPECT_EQ(archive.GetLastErrorCode(), err::kNotEnoughMemory) << version;
  }
}

TEST(HostileInput, Version2BlockLengthBeyondThePassSizeFails) {
  TempFolder temp;
  const WString path = temp / ORV_T("b.inp");
  std::vector<uint8_t> data(8, 0);
  StoreLE<uint32_t>(&data[0], 1064980);
  std::vector<uint8_t> table = V2Entry(2, 91 + 4);
  StoreLE<uint32_t>(&table[4], os::kAttrArchive);
  StoreLE<uint32_t>(&table[36], 10);         // size
  StoreLE<uint64_t>(&table[40], 8);          // stored length
  StoreLE<uint64_t>(&table[48], 40);         // data offset
  WriteV2(path, data, table);
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  ASSERT_TRUE(archive.NextEntry(0));
  EXPECT_FALSE(archive.ExtractCurrent((temp / ORV_T("out")).c_str(), 1));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kInternalError);
  archive.Close();
}

TEST(HostileInput, Version2CapacityFailsTheAddInsteadOfCuttingTheFile) {
  TempFolder temp;
  const WString path = temp / ORV_T("c.inp");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 2));
  ASSERT_TRUE(archive.Close());
  std::vector<uint8_t> bytes = RawFile(path);
  StoreLE<uint64_t>(&bytes[32], 4096);
  WriteRaw(path, bytes);

  WriteFile(temp / ORV_T("big"), NoiseBytes(3 * 1048576, 5));
  WriteFile(temp / ORV_T("small"), "small enough");
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 2));
  EXPECT_FALSE(archive.AddFile((temp / ORV_T("big")).c_str(), ORV_T("big"), nullptr, 0, nullptr));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kDiskFull);
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("small")).c_str(), ORV_T("small"), nullptr, 0, nullptr));
  // A descriptor too long for the table is left out whole rather than cut.
  const std::vector<uint8_t> descriptor(2000, 7);
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("small")).c_str(), ORV_T("sd"), descriptor.data(), 2000, nullptr));
  ASSERT_TRUE(archive.Close());

  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_EQ(EntryNames(archive), (std::vector<WString>{ORV_T("small"), ORV_T("sd")}));
  archive.Close();
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  ASSERT_TRUE(archive.NextEntry(1));
  ASSERT_TRUE(archive.NextEntry(0));
  std::vector<uint8_t> kept;
  ASSERT_TRUE(archive.ReadEntrySecurity(kept));
  EXPECT_TRUE(kept.empty());
  ASSERT_TRUE(archive.ExtractCurrent((temp / ORV_T("out")).c_str(), 1));
  EXPECT_EQ(ReadFile(temp / ORV_T("out\\sd")), "small enough");
  archive.Close();
}

}  // namespace
}  // namespace orv::test
