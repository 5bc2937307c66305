// Archives written by every version read back through every read path, with content,
// times and attributes.
#include "archive/part_names.h"
#include "archive/source_metadata.h"
#include "archive_support.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "services/format.h"

namespace orv::test {
namespace {

struct SourceFile {
  const Char* name;
  std::string content;
  DWORD attributes;
};

std::vector<SourceFile> SampleFiles() {
  return {
      {ORV_T("empty"), "", os::kAttrArchive},
      {ORV_T("d\\text"), TextBytes(2 * 1048576 + 12345), os::kAttrArchive},
      {ORV_T("d\\noise"), NoiseBytes(300000, 3), os::kAttrArchive | os::kAttrHidden},
      {ORV_T("d\\e\\ro"), "read only", os::kAttrReadOnly},
  };
}

// Writes the sample files under `source` and adds them (folders too, except for
// version 1, whose writer takes files only) with chosen times.
void WriteSampleArchive(const TempFolder& temp, const WString& path, int version) {
  ASSERT_EQ(os::CreateDirectoryTree(temp / ORV_T("src\\d\\e")), 0u);
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, version));
  if (version != 1) {
    for (const Char* folder : {ORV_T("d"), ORV_T("d\\e")}) {
      const ORVFILEATTRIBUTEDATA block = BlockWithTimes(os::kAttrDirectory, 0, kSomeTime);
      ASSERT_TRUE(archive.AddFile((temp / ORV_T("src\\") + folder).c_str(), folder, nullptr, 0, &block));
    }
  }
  uint64_t time = kSomeTime;
  for (const SourceFile& file : SampleFiles()) {
    const WString source = temp / (WString(ORV_T("src\\")) + file.name);
    WriteFile(source, file.content);
    const ORVFILEATTRIBUTEDATA block = BlockWithTimes(file.attributes, file.content.size(), time += 1000000000);
    ASSERT_TRUE(archive.AddFile(source.c_str(), file.name, nullptr, 0, &block)) << archive.GetLastErrorCode();
  }
  ASSERT_TRUE(archive.Close());
}

void ExpectSampleTree(const WString& out) {
  const bool creation = KeepsCreationTime(out);
  uint64_t time = kSomeTime;
  for (const SourceFile& file : SampleFiles()) {
    const WString path = out + ORV_T("\\") + file.name;
    time += 1000000000;
    EXPECT_TRUE(ReadFile(path) == file.content) << "content differs";
    os::FileInfo info;
    ASSERT_EQ(os::GetInfo(path, info), 0u);
    EXPECT_EQ(info.times.lastWrite, time + 20000000);
    if (creation) {
      EXPECT_EQ(info.times.creation, time);
    }
    EXPECT_EQ(info.attributes & (os::kAttrReadOnly | os::kAttrHidden), file.attributes & (os::kAttrReadOnly | os::kAttrHidden));
  }
}

class RoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(RoundTrip, WalkAndExtractEveryEntry) {
  TempFolder temp;
  const WString path = temp / ORV_T("a.inp");
  WriteSampleArchive(temp, path, GetParam());
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_EQ(archive.GetArchiveType(), static_cast<DWORD>(GetParam()));
  const WString out = temp / ORV_T("out");
  size_t count = 0;
  while (archive.NextEntry(0)) {
    ASSERT_TRUE(archive.NextEntry(0));  // the same entry again
    ASSERT_TRUE(archive.ExtractCurrent(out.c_str(), 1)) << archive.GetLastErrorCode();
    if (!(archive.GetEntryAttributes().dwFileAttributes & os::kAttrDirectory)) {
      Char name[300];
      archive.GetEntryName(name, 300);
      EXPECT_EQ(archive.GetEntrySize(), FileSize(out + ORV_T("\\") + name));
    }
    ++count;
    ASSERT_TRUE(archive.NextEntry(1));
  }
  EXPECT_EQ(archive.GetLastErrorCode(), err::kNoMoreItems);
  EXPECT_FALSE(archive.NextEntry(1));
  EXPECT_EQ(count, GetParam() == 1 ? 4u : 6u);
  ASSERT_TRUE(archive.Close());
  ExpectSampleTree(out);
  if (GetParam() != 1) {
    os::FileInfo info;
    ASSERT_EQ(os::GetInfo(out + ORV_T("\\d\\e"), info), 0u);
    EXPECT_EQ(info.times.lastWrite, kSomeTime + 20000000);
  }
}

TEST_P(RoundTrip, ReopenedArchiveTakesMoreFiles) {
  TempFolder temp;
  const WString path = temp / ORV_T("a.inp");
  WriteSampleArchive(temp, path, GetParam());
  WriteFile(temp / ORV_T("later"), TextBytes(5000));
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, GetParam()));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("later")).c_str(), ORV_T("later"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  const WString out = temp / ORV_T("out");
  while (archive.NextEntry(0)) {
    ASSERT_TRUE(archive.ExtractCurrent(out.c_str(), 1));
    archive.NextEntry(1);
  }
  archive.Close();
  ExpectSampleTree(out);
  EXPECT_TRUE(ReadFile(out + ORV_T("\\later")) == TextBytes(5000));
}

TEST_P(RoundTrip, EmptyArchiveReopensAfterItsHeader) {
  TempFolder temp;
  const WString path = temp / ORV_T("a.inp");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, GetParam()));
  ASSERT_TRUE(archive.Close());
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_FALSE(archive.NextEntry(0));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kNoMoreItems);
  archive.Close();
  WriteFile(temp / ORV_T("f"), "content");
  ASSERT_TRUE(archive.Open(path.c_str(), 0, GetParam()));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("f")).c_str(), ORV_T("f"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());
  const std::vector<uint8_t> bytes = RawFile(path);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "MRLLIGHT");
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  ASSERT_TRUE(archive.NextEntry(0));
  ASSERT_TRUE(archive.ExtractCurrent((temp / ORV_T("out")).c_str(), 1));
  EXPECT_EQ(ReadFile(temp / ORV_T("out\\f")), "content");
  archive.Close();
}

TEST_P(RoundTrip, WriteOpenOfAnotherVersionIsRefused) {
  TempFolder temp;
  const WString path = temp / ORV_T("a.inp");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, GetParam()));
  ASSERT_TRUE(archive.Close());
  const int other = GetParam() == 5 ? 6 : 5;
  EXPECT_FALSE(archive.Open(path.c_str(), 0, other));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kBadFormat);
}

// The same tree written twice gives the same bytes: main file, index and parts (the
// version 2 header's capacity, the free space of the volume, aside).
TEST_P(RoundTrip, TheSameTreeGivesTheSameArchive) {
  TempFolder temp;
  std::vector<std::vector<uint8_t>> files[2];
  for (int pass = 0; pass < 2; ++pass) {
    const WString path = temp / (pass == 0 ? ORV_T("a.inp") : ORV_T("b.inp"));
    WriteSampleArchive(temp, path, GetParam());
    files[pass].push_back(RawFile(path));
    if (GetParam() >= 5) {
      files[pass].push_back(RawFile(archive::IndexFileName(path)));
      files[pass].push_back(RawFile(archive::PartFileName(path, 1)));
    }
  }
  if (GetParam() == 2) {
    for (auto& main : {&files[0][0], &files[1][0]}) std::fill_n(main->begin() + 32, 8, 0);
  }
  ASSERT_EQ(files[0].size(), files[1].size());
  for (size_t i = 0; i < files[0].size(); ++i) EXPECT_TRUE(files[0][i] == files[1][i]) << "file " << i;
}

// A file that grew after its caller read its attributes is stored as it was read when
// opened, with that size: the entry comes back whole instead of failing as corrupt.
TEST_P(RoundTrip, AFileThatChangedAfterItsAttributesWereReadKeepsItsReadSize) {
  TempFolder temp;
  const WString source = temp / ORV_T("grows");
  WriteFile(source, "short");
  os::FileInfo info;
  ASSERT_EQ(os::GetInfo(source, info), 0u);
  const ORVFILEATTRIBUTEDATA stale = archive::AttributesOf(info);
  const std::string grown = TextBytes(70000);
  WriteFile(source, grown);

  const WString path = temp / ORV_T("a.inp");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, GetParam()));
  ASSERT_TRUE(archive.AddFile(source.c_str(), ORV_T("grows"), nullptr, 0, &stale));
  ASSERT_TRUE(archive.Close());
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  ASSERT_TRUE(archive.NextEntry(0));
  EXPECT_EQ(archive.GetEntrySize(), grown.size());
  const WString out = temp / ORV_T("out");
  EXPECT_TRUE(archive.ExtractCurrent(out.c_str(), 1)) << archive.GetLastErrorCode();
  archive.Close();
  EXPECT_EQ(ReadFile(out + ORV_T("\\grows")), grown);
}

// An encrypted entry is staged under its name cut to leave room for two numbers; the cut
// counts what the file system counts, so a long name of accented letters (two bytes
// each on Linux) still gives a staging name that can be made.
// (Version 1 stages no encrypted entry.)
TEST(RoundTripStaging, TheStagingNameOfALongEncryptedNameCanBeMade) {
  TempFolder temp;
  WriteFile(temp / ORV_T("f"), "raw");
  os::FileInfo info;
  ASSERT_EQ(os::GetInfo(temp / ORV_T("f"), info), 0u);
  ORVFILEATTRIBUTEDATA attributes = archive::AttributesOf(info);
  attributes.dwFileAttributes |= os::kAttrEncrypted;
  const WString name(240, Char(0xE9));
  for (const int version : {2, 5, 6}) {
    const WString path = temp / Format(ORV_T("v%d.inp"), version);
    COrvMorlet archive;
    ASSERT_TRUE(archive.Open(path.c_str(), 0, version));
    ASSERT_TRUE(archive.AddFile((temp / ORV_T("f")).c_str(), name.c_str(), nullptr, 0, &attributes));
    ASSERT_TRUE(archive.Close());
    ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
    ASSERT_TRUE(archive.NextEntry(0));
    Char staging[300] = {};
    ASSERT_TRUE(archive.GetEntryTempName(staging, 300));
    archive.Close();
    EXPECT_TRUE(WStringView(staging).starts_with(WString(100, Char(0xE9)))) << version;
#ifdef _WIN32
    // Windows takes 255 UTF-16 units; Wine, which keeps them as UTF-8 on its host, fewer.
    EXPECT_LE(WStringView(staging).size(), 255u) << version;
#else
    os::File file;
    EXPECT_EQ(file.Open(temp / staging, os::kGenericWrite, 0, os::Disposition::kCreateNew), 0u)
        << version;
    file.Close();
    os::DeleteFile(temp / staging);
#endif
  }
}

// A final name of 250 characters, legal on Windows, leaves no room for a suffix: it
// still comes back, and extracting it again replaces it.
TEST_P(RoundTrip, LongNamesComeBack) {
  TempFolder temp;
  const WString name(250, Char('n'));
  WriteFile(temp / ORV_T("f"), "long");
  const WString path = temp / ORV_T("a.inp");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, GetParam()));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("f")).c_str(), name.c_str(), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());
  const WString out = temp / ORV_T("out");
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
    ASSERT_TRUE(archive.NextEntry(0));
    EXPECT_TRUE(archive.ExtractCurrent(out.c_str(), 1)) << archive.GetLastErrorCode();
    archive.Close();
  }
  EXPECT_EQ(ReadFile(out + ORV_T("\\") + name), "long");
  EXPECT_EQ(FolderNames(out), std::vector<WString>{name});
}

// Names the format cannot hold whole are refused, never stored cut: two such names
// would otherwise end as one entry.
TEST_P(RoundTrip, NamesAndPathsOverTheLimitAreRefused) {
  TempFolder temp;
  WriteFile(temp / ORV_T("f"), "x");
  const WString path = temp / ORV_T("a.inp");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, GetParam()));
  for (const Char last : {Char('a'), Char('b')}) {
    const WString name = WString(260, Char('n')) + last;
    EXPECT_FALSE(archive.AddFile((temp / ORV_T("f")).c_str(), name.c_str(), nullptr, 0, nullptr));
    EXPECT_EQ(archive.GetLastErrorCode(), err::kFilenameExcedRange);
  }
  const WString fits(260, Char('n'));
  EXPECT_TRUE(archive.AddFile((temp / ORV_T("f")).c_str(), fits.c_str(), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_EQ(EntryNames(archive), std::vector<WString>{fits});
  archive.Close();

  const WString longPath = temp / (WString(261 - temp.Path().size() - 1, Char('p')));
  ASSERT_EQ(longPath.size(), 261u);
  EXPECT_FALSE(archive.Open(longPath.c_str(), 0, GetParam()));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kFilenameExcedRange);
  EXPECT_FALSE(Exists(longPath));
}

INSTANTIATE_TEST_SUITE_P(Versions, RoundTrip, ::testing::Values(1, 2, 5, 6));

TEST(RoundTripV56, FindEntryExtractFileAndDirectorySteps) {
  TempFolder temp;
  const WString path = temp / ORV_T("a.inp");
  WriteSampleArchive(temp, path, 5);
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  ASSERT_TRUE(archive.FindEntry(ORV_T("D\\TEXT")));
  EXPECT_EQ(archive.GetEntrySize(), 2u * 1048576 + 12345);
  EXPECT_FALSE(archive.FindEntry(ORV_T("d\\missing")));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kNoMoreItems);
  EXPECT_FALSE(archive.ExtractFile(ORV_T("d\\missing"), temp.Path().c_str()));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kFileNotFound);
  ASSERT_TRUE(archive.ExtractFile(ORV_T("d\\noise"), (temp / ORV_T("one")).c_str()));
  EXPECT_TRUE(ReadFile(temp / ORV_T("one\\d\\noise")) == NoiseBytes(300000, 3));
  EXPECT_FALSE(Exists(temp / ORV_T("one\\d\\text")));
  archive.Close();

  // A folder that was only ever a step on the way to names has no record.
  WriteFile(temp / ORV_T("deep"), "x");
  ASSERT_TRUE(archive.Open((temp / ORV_T("b.inp")).c_str(), 0, 6));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("deep")).c_str(), ORV_T("x\\y\\deep"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());
  ASSERT_TRUE(archive.Open((temp / ORV_T("b.inp")).c_str(), 1, 0));
  EXPECT_FALSE(archive.FindEntry(ORV_T("x\\y")));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kNoMoreItems);
  EXPECT_TRUE(archive.FindEntry(ORV_T("X\\Y\\DEEP")));
  archive.Close();
}

TEST(RoundTripV56, SameNameTwiceKeepsBothRecordsAndFindsTheLater) {
  TempFolder temp;
  const WString path = temp / ORV_T("a.inp");
  WriteFile(temp / ORV_T("v1"), "old");
  WriteFile(temp / ORV_T("v2"), "newer");
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("v1")).c_str(), ORV_T("f"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("v2")).c_str(), ORV_T("f"), nullptr, 0, nullptr));
  EXPECT_FALSE(archive.AddFile((temp / ORV_T("v2")).c_str(), nullptr, nullptr, 0, nullptr));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kInvalidParameter);
  ASSERT_TRUE(archive.Close());
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_EQ(EntryNames(archive).size(), 2u);
  ASSERT_TRUE(archive.FindEntry(ORV_T("f")));
  EXPECT_EQ(archive.GetEntrySize(), 5u);
  archive.Close();
}

TEST(RoundTripV56, ReadingLeavesTheIndexAlone) {
  TempFolder temp;
  const WString path = temp / ORV_T("a.inp");
  WriteSampleArchive(temp, path, 5);
  const WString index = archive::IndexFileName(path);
  const std::vector<uint8_t> before = RawFile(index);
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  ASSERT_TRUE(archive.FindEntry(ORV_T("d\\text")));
  ASSERT_TRUE(archive.Close());
  EXPECT_EQ(RawFile(index), before);

  // Without its index the archive still walks; lookups by name are refused.
  ASSERT_EQ(os::DeleteFile(index), 0u);
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_EQ(EntryNames(archive).size(), 6u);
  EXPECT_FALSE(archive.FindEntry(ORV_T("d\\text")));
  EXPECT_EQ(archive.GetLastErrorCode(), ORV_ERROR_NOT_SUPPORTED);
  ASSERT_TRUE(archive.Close());
  EXPECT_FALSE(Exists(index));
}

// One object opens archives of every version in turn: each starts at its own first
// entry, with nothing of the one before, and the calls that only versions 5 and 6 know
// fail cleanly on the others.
TEST(RoundTrip, OneObjectOpensEveryVersionInTurn) {
  TempFolder temp;
  COrvMorlet archive;
  int opened = 0;
  for (const int version : {5, 2, 6, 1, 5}) {
    const WString path = temp / Format(ORV_T("%d-v%d.inp"), ++opened, version);
    WriteSampleArchive(temp, path, version);
    ASSERT_TRUE(archive.Open(path.c_str(), 1, 0)) << version;
    const size_t folders = version == 1 ? 0 : 2;
    EXPECT_EQ(EntryNames(archive).size(), SampleFiles().size() + folders) << version;
    Char mount[8] = {'x', 0};
    EXPECT_TRUE(archive.GetMountPath(mount, 8));
    EXPECT_EQ(WString(mount), WString()) << version;
    std::vector<uint8_t> block;
    if (version <= 2) {
      EXPECT_FALSE(archive.FindEntry(ORV_T("d\\text")));
      EXPECT_EQ(archive.GetLastErrorCode(), ORV_ERROR_NOT_SUPPORTED) << version;
      EXPECT_FALSE(archive.StartStreamRead(ORV_T("d\\text"), block));
      EXPECT_EQ(archive.GetLastErrorCode(), ORV_ERROR_NOT_SUPPORTED) << version;
      EXPECT_FALSE(archive.NextStreamBlock(block));
      EXPECT_EQ(archive.GetLastErrorCode(), err::kNoMoreItems) << version;
      EXPECT_EQ(archive.LastPart(), 0u);
      EXPECT_TRUE(archive.CurrentRecord().name.empty());
    } else {
      // Left in the middle of a stream: the next archive is not streaming.
      EXPECT_TRUE(archive.StartStreamRead(ORV_T("d\\text"), block)) << archive.GetLastErrorCode();
      EXPECT_GE(archive.LastPart(), 1u);
    }
    ASSERT_TRUE(archive.Close());
  }
}

TEST(RoundTripV56, ReopenedArchiveContinuesItsLastPart) {
  TempFolder temp;
  const WString path = temp / ORV_T("a.inp");
  WriteFile(temp / ORV_T("f"), TextBytes(100000));
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("f")).c_str(), ORV_T("f"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());
  const uint64_t partSize = FileSize(archive::PartFileName(path, 1));
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("f")).c_str(), ORV_T("g"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());
  EXPECT_EQ(FileSize(archive::PartFileName(path, 1)), 2 * partSize);
  EXPECT_FALSE(Exists(archive::PartFileName(path, 2)));
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  ASSERT_TRUE(archive.ExtractFile(ORV_T("g"), (temp / ORV_T("out")).c_str()));
  EXPECT_TRUE(ReadFile(temp / ORV_T("out\\g")) == TextBytes(100000));
  archive.Close();
}

TEST(RoundTripV56, CopiedEntriesKeepTheirBlocksAndDescriptor) {
  TempFolder temp;
  const WString source = temp / ORV_T("src.inp");
  const std::string content = TextBytes(3 * 1048576 + 5);
  WriteFile(temp / ORV_T("big"), content);
  const uint8_t descriptor[] = {9, 8, 7, 6};
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(source.c_str(), 0, 5));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("big")).c_str(), ORV_T("big"), descriptor, 4, nullptr));
  const ORVFILEATTRIBUTEDATA folder = BlockWithTimes(os::kAttrDirectory, 0, kSomeTime);
  ASSERT_TRUE(archive.AddFile(temp.Path().c_str(), ORV_T("dir"), nullptr, 0, &folder));
  ASSERT_TRUE(archive.Close());

  // The streaming read hands out the raw blocks and blocks other reads meanwhile.
  ASSERT_TRUE(archive.Open(source.c_str(), 1, 0));
  std::vector<uint8_t> block;
  ASSERT_TRUE(archive.StartStreamRead(ORV_T("big"), block));
  EXPECT_FALSE(archive.NextEntry(0));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kBadCommand);
  int blocks = 1;
  while (archive.NextStreamBlock(block)) ++blocks;
  EXPECT_EQ(blocks, 4);
  EXPECT_EQ(archive.GetLastErrorCode(), err::kNoMoreItems);
  EXPECT_TRUE(archive.NextEntry(0));
  EXPECT_FALSE(archive.StartStreamRead(ORV_T("dir"), block));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kNoMoreItems);
  archive.Close();

  const WString copy = temp / ORV_T("copy.inp");
  ASSERT_TRUE(archive.Open(copy.c_str(), 0, 6));
  ULONGLONG size = 0;
  ASSERT_TRUE(archive.AddFileFromArchive(source.c_str(), ORV_T("BIG"), size));
  EXPECT_EQ(size, content.size());
  ASSERT_TRUE(archive.AddFileFromArchive(source.c_str(), ORV_T("dir"), size));
  EXPECT_FALSE(archive.AddFileFromArchive(source.c_str(), ORV_T("none"), size));
  EXPECT_EQ(archive.GetLastErrorCode(), err::kFileNotFound);
  ASSERT_TRUE(archive.Close());
  EXPECT_EQ(RawFile(archive::PartFileName(copy, 1)), RawFile(archive::PartFileName(source, 1)));

  ASSERT_TRUE(archive.Open(copy.c_str(), 1, 0));
  ASSERT_TRUE(archive.FindEntry(ORV_T("big")));
  std::vector<uint8_t> kept;
  ASSERT_TRUE(archive.ReadEntrySecurity(kept));
  EXPECT_EQ(kept, std::vector<uint8_t>(descriptor, descriptor + 4));
  ASSERT_TRUE(archive.ExtractFile(ORV_T("big"), (temp / ORV_T("out")).c_str()));
  EXPECT_TRUE(ReadFile(temp / ORV_T("out\\big")) == content);
  archive.Close();
}

TEST(RoundTripV56, AFailedExtractionKeepsTheFileThatWasThere) {
  TempFolder temp;
  const WString path = temp / ORV_T("a.inp");
  WriteFile(temp / ORV_T("f"), NoiseBytes(200000, 1));
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 0, 5));
  ASSERT_TRUE(archive.AddFile((temp / ORV_T("f")).c_str(), ORV_T("f"), nullptr, 0, nullptr));
  ASSERT_TRUE(archive.Close());
  // Cut the part file in the middle of the block.
  std::vector<uint8_t> part = RawFile(archive::PartFileName(path, 1));
  part.resize(part.size() / 2);
  WriteRaw(archive::PartFileName(path, 1), part);

  ASSERT_EQ(os::CreateDirectory(temp / ORV_T("out")), 0u);
  WriteFile(temp / ORV_T("out\\f"), "precious");
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  EXPECT_FALSE(archive.ExtractFile(ORV_T("f"), (temp / ORV_T("out")).c_str()));
  archive.Close();
  EXPECT_EQ(ReadFile(temp / ORV_T("out\\f")), "precious");
  EXPECT_EQ(FolderNames(temp / ORV_T("out")), std::vector<WString>{ORV_T("f")});  // no staging left
}

}  // namespace
}  // namespace orv::test
