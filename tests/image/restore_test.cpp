// Restores of image folders: capture and restore round trips, the entries a restore
// leaves out, the caller's answers to failures, chains of differential sets with their
// deletions, hostile catalogues, WIM folders in parts, listing and enumeration.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "archive/archive_support.h"
#include "image/image.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "services/format.h"
#include "services_disk/described_disks.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

// Writes an image folder by hand: a version 5 archive of the files of `source` under
// `archiveName`, BASE.XML naming it, and DEL.XML with the given deletion entries.
void WriteImageFolder(const WString& folder, const WString& source, const WString& archiveName,
                      const std::vector<std::string>& deletions = {},
                      const std::string& extraFiles = "") {
  ASSERT_EQ(os::CreateDirectoryTree(folder), 0u);
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open((folder + ORV_T("\\") + archiveName).c_str(), 0, 5));
  uint64_t total = 0;
  for (const auto& [name, content] : TreeOf(source)) {
    os::FileInfo info;
    ASSERT_EQ(os::GetInfo(source + ORV_T("\\") + name, info), 0u);
    const ORVFILEATTRIBUTEDATA block = BlockWithTimes(info.attributes, info.size, 130000000000000000ull);
    ASSERT_TRUE(archive.AddFile((source + ORV_T("\\") + name).c_str(), name.c_str(), nullptr, 0, &block))
        << os::ToUtf8(name);
    if (content != "<dir>") total += content.size();
  }
  ASSERT_TRUE(archive.Close());
  WriteFile(folder + ORV_T("\\BASE.XML"),
            "<?xml version=\"1.0\"?>\n<image Size=\"" + std::to_string(total) + "\"><file>" +
                os::ToUtf8(archiveName) + "</file>" + extraFiles + "</image>\n");
  std::string del = "<?xml version=\"1.0\"?>\n<deleted>";
  for (const std::string& entry : deletions) del += "<file>" + entry + "</file>";
  WriteFile(folder + ORV_T("\\DEL.XML"), del + "</deleted>\n");
}

// Records the messages a restore sends; answers as told.
struct Recorder {
  std::vector<DWORD> messages;
  std::vector<std::pair<DWORD, WString>> failures;  // 405: code, entry
  std::vector<WString> listed;                      // 411 paths
  std::vector<WString> walked;                      // 410 paths
  BOOL answerFailure = TRUE;
  int refuseWalkAt = -1;
  uint64_t total = 0;
};
Recorder* g_recorder = nullptr;

BOOL ORV_CALLBACK Record(ORVVALUE message, ORVVALUE first, ORVVALUE second, ORVVALUE fourth) {
  Recorder& r = *g_recorder;
  r.messages.push_back(static_cast<DWORD>(message));
  switch (message) {
    case 409:
      r.total = (uint64_t{static_cast<DWORD>(second)} << 32) | static_cast<DWORD>(first);
      return TRUE;
    case 405:
      r.failures.emplace_back(static_cast<DWORD>(second), reinterpret_cast<const Char*>(fourth));
      return r.answerFailure;
    case 411:
      r.listed.emplace_back(reinterpret_cast<const ORVLISTRECORD*>(fourth)->pstrPath);
      return TRUE;
    case 410:
      r.walked.emplace_back(reinterpret_cast<const Char*>(first));
      return static_cast<int>(r.walked.size()) != r.refuseWalkAt;
    default:
      return TRUE;
  }
}

class RestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_recorder = &recorder_;
    ASSERT_EQ(os::CreateDirectory(source_), 0u);
  }
  void TearDown() override { g_recorder = nullptr; }

  TempFolder folder_;
  WString source_ = folder_ / ORV_T("source");
  WString image_ = folder_ / ORV_T("image");
  WString target_ = folder_ / ORV_T("target");
  COrvImage object_;
  Recorder recorder_;
};

TEST_F(RestoreTest, CapturedDiskComesBackWhole) {
  ASSERT_EQ(os::CreateDirectory(source_ + ORV_T("\\docs")), 0u);
  ASSERT_EQ(os::CreateDirectory(source_ + ORV_T("\\empty")), 0u);
  WriteFile(source_ + ORV_T("\\docs\\a.txt"), TextBytes(5000));
  WriteFile(source_ + ORV_T("\\b.bin"), NoiseBytes(300000, 9));
  WriteFile(source_ + ORV_T("\\zero"), "");
  ASSERT_EQ(os::SetAttributes(source_ + ORV_T("\\zero"), os::kAttrReadOnly), 0u);
  const WString images = folder_ / ORV_T("images");
  DescribedDisks disks(DiskXml(0, 100 * kGiB,
                               PartitionXml(1, kMiB, 10 * kGiB, "07",
                                            "FileSystem=\"NTFS\" Folder=\"" + os::ToUtf8(source_) + "\"")));
  for (DWORD type : {2u, 5u, 4u}) {
    SCOPED_TRACE(type);
    if (type == 4 && !WimEngineLoaded()) continue;  // no WIM engine here
    IMAGEDATA record{};
    record.dwImageType = type;
    record.dwSplitSizeMB = 650;
    record.pstrTargetDir = images.c_str();
    ASSERT_TRUE(object_.CreateImage(&record)) << object_.GetLastErrorCode();
    const WString target = folder_ / Format(ORV_T("target%u"), type);
    ASSERT_TRUE(object_.RestoreImage((images + ORV_T("\\PRELOAD\\DISK0\\PART1")).c_str(),
                                     target.c_str(), Record))
        << object_.GetLastErrorCode();
    std::map<WString, std::string> expected = TreeOf(source_);
    EXPECT_EQ(TreeOf(target), expected);
    DWORD attributes = 0;
    ASSERT_EQ(os::GetAttributes(target + ORV_T("\\zero"), attributes), 0u);
    // A WIM image of a plain folder keeps no Windows attributes on Linux (yet).
    if (type != 4) {
      EXPECT_TRUE(attributes & os::kAttrReadOnly);
    }
    // 409 with the catalogue's total first, then 110 from nothing done.
    ASSERT_GE(recorder_.messages.size(), 2u);
    EXPECT_EQ(recorder_.messages[0], 409u);
    EXPECT_EQ(recorder_.messages[1], 110u);
    EXPECT_EQ(recorder_.total, 305000u);
    recorder_ = Recorder{};
  }
}

TEST_F(RestoreTest, SystemFilesAtTheRootAreLeftOutAndOlderFilesReplaced) {
  ASSERT_EQ(os::CreateDirectory(source_ + ORV_T("\\System Volume Information")), 0u);
  ASSERT_EQ(os::CreateDirectory(source_ + ORV_T("\\Windows")), 0u);
  WriteFile(source_ + ORV_T("\\pagefile.sys"), "paged");
  WriteFile(source_ + ORV_T("\\HIBERFIL.SYS"), "hibernated");
  WriteFile(source_ + ORV_T("\\System Volume Information\\store"), "snapshots");
  WriteFile(source_ + ORV_T("\\Windows\\pagefile.sys"), "kept");
  WriteFile(source_ + ORV_T("\\ro.txt"), "new content");
  WriteImageFolder(image_, source_, ORV_T("BASE.INP"));
  // The target holds an older read-only file and a folder the image fills.
  ASSERT_EQ(os::CreateDirectory(target_), 0u);
  ASSERT_EQ(os::CreateDirectory(target_ + ORV_T("\\Windows")), 0u);
  WriteFile(target_ + ORV_T("\\Windows\\old.txt"), "stays");
  WriteFile(target_ + ORV_T("\\ro.txt"), "old");
  ASSERT_EQ(os::SetAttributes(target_ + ORV_T("\\ro.txt"), os::kAttrReadOnly), 0u);

  ASSERT_TRUE(object_.RestoreImage(image_.c_str(), target_.c_str(), Record)) << object_.GetLastErrorCode();
  const std::map<WString, std::string> restored = TreeOf(target_);
  EXPECT_EQ(restored.count(ORV_T("pagefile.sys")), 0u);
  EXPECT_EQ(restored.count(ORV_T("HIBERFIL.SYS")), 0u);
  EXPECT_EQ(restored.count(ORV_T("System Volume Information\\store")), 0u);
  EXPECT_EQ(restored.at(ORV_T("Windows\\pagefile.sys")), "kept");
  EXPECT_EQ(restored.at(ORV_T("Windows\\old.txt")), "stays");
  EXPECT_EQ(restored.at(ORV_T("ro.txt")), "new content");
}

TEST_F(RestoreTest, TheCallerDecidesWhetherAFailedEntryStopsTheRestore) {
  WriteFile(source_ + ORV_T("\\a.txt"), "a");
  WriteFile(source_ + ORV_T("\\b.txt"), "b");
  WriteFile(source_ + ORV_T("\\c.txt"), "c");
  WriteImageFolder(image_, source_, ORV_T("BASE.INP"));
  // A folder where the file b.txt goes cannot be replaced by it.
  ASSERT_EQ(os::CreateDirectoryTree(target_ + ORV_T("\\b.txt\\inside")), 0u);

  recorder_.answerFailure = TRUE;
  EXPECT_TRUE(object_.RestoreImage(image_.c_str(), target_.c_str(), Record));
  ASSERT_EQ(recorder_.failures.size(), 1u);
  EXPECT_EQ(recorder_.failures[0].second, ORV_T("b.txt"));
  EXPECT_NE(recorder_.failures[0].first, 0u);
  EXPECT_EQ(ReadFile(target_ + ORV_T("\\c.txt")), "c");

  // Answered 0, the walk ends at the failure, with its code.
  recorder_ = Recorder{};
  recorder_.answerFailure = FALSE;
  const WString second = folder_ / ORV_T("second");
  ASSERT_EQ(os::CreateDirectoryTree(second + ORV_T("\\b.txt\\inside")), 0u);
  EXPECT_FALSE(object_.RestoreImage(image_.c_str(), second.c_str(), Record));
  EXPECT_NE(object_.GetLastErrorCode(), 0u);
  EXPECT_FALSE(Exists(second + ORV_T("\\c.txt")));

  // Without a callback every other entry is written, and the restore fails.
  const WString third = folder_ / ORV_T("third");
  ASSERT_EQ(os::CreateDirectoryTree(third + ORV_T("\\b.txt\\inside")), 0u);
  EXPECT_FALSE(object_.RestoreImage(image_.c_str(), third.c_str(), nullptr));
  EXPECT_EQ(ReadFile(third + ORV_T("\\c.txt")), "c");
}

TEST_F(RestoreTest, ChainOfSetsEndsInTheStateOfTheRestorePoint) {
  WriteFile(source_ + ORV_T("\\keep.txt"), "base");
  WriteFile(source_ + ORV_T("\\gone.txt"), "base");
  ASSERT_EQ(os::CreateDirectoryTree(source_ + ORV_T("\\old\\deep")), 0u);
  WriteFile(source_ + ORV_T("\\old\\deep\\x"), "x");
  WriteImageFolder(image_, source_, ORV_T("BASE.INP"));

  const WString sets = folder_ / ORV_T("sets");
  const WString set0 = folder_ / ORV_T("set0");
  ASSERT_EQ(os::CreateDirectory(set0), 0u);
  WriteFile(set0 + ORV_T("\\keep.txt"), "changed in 0");
  WriteFile(set0 + ORV_T("\\new.txt"), "new in 0");
  WriteImageFolder(sets + ORV_T("\\USERDIFF.0"), set0, ORV_T("BASE.INP"),
                   {"\\gone.txt", "\\old", "\\never-there.txt"});
  const WString set1 = folder_ / ORV_T("set1");
  ASSERT_EQ(os::CreateDirectory(set1), 0u);
  WriteFile(set1 + ORV_T("\\keep.txt"), "changed in 1");
  WriteImageFolder(sets + ORV_T("\\USERDIFF.1"), set1, ORV_T("BASE_01.INP"), {"\\new.txt"});

  const WString base = folder_ / ORV_T("base-only");
  ASSERT_TRUE(object_.RestoreDifferentialImage(image_.c_str(), sets.c_str(), -1, base.c_str(), nullptr));
  EXPECT_EQ(TreeOf(base), TreeOf(source_));

  const WString point0 = folder_ / ORV_T("point0");
  ASSERT_TRUE(object_.RestoreDifferentialImage(image_.c_str(), sets.c_str(), 0, point0.c_str(), nullptr));
  EXPECT_EQ(TreeOf(point0), (std::map<WString, std::string>{{ORV_T("keep.txt"), "changed in 0"},
                                                            {ORV_T("new.txt"), "new in 0"}}));

  const WString point1 = folder_ / ORV_T("point1");
  ASSERT_TRUE(object_.RestoreDifferentialImage(image_.c_str(), sets.c_str(), 1, point1.c_str(), Record));
  EXPECT_EQ(TreeOf(point1), (std::map<WString, std::string>{{ORV_T("keep.txt"), "changed in 1"}}));
  EXPECT_EQ(recorder_.total, 9u + 20 + 12);  // every folder's catalogue total

  // A restore point past the sets there fails at the first missing one.
  const WString past = folder_ / ORV_T("past");
  EXPECT_FALSE(object_.RestoreDifferentialImage(image_.c_str(), sets.c_str(), 2000000000, past.c_str(), nullptr));
}

TEST_F(RestoreTest, HostileCataloguesNeitherDeleteNorWriteOutsideTheTarget) {
  const WString outside = folder_ / ORV_T("outside");
  ASSERT_EQ(os::CreateDirectory(outside), 0u);
  WriteFile(outside + ORV_T("\\victim.txt"), "precious");
  WriteFile(folder_ / ORV_T("escaped.txt"), "precious");
  WriteFile(source_ + ORV_T("\\a.txt"), "a");
  WriteImageFolder(image_, source_, ORV_T("BASE.INP"),
                   {"\\..\\escaped.txt", "..\\outside\\victim.txt", "\\..\\outside",
                    "C:\\outside\\victim.txt", "\\\\server\\share\\x", "\\a.txt:stream"},
                   "<file>..\\..\\evil.INP</file><file>/etc/evil.INP</file>");
  ASSERT_TRUE(object_.RestoreImage(image_.c_str(), target_.c_str(), Record)) << object_.GetLastErrorCode();
  // Each refused deletion is reported as a bad name.
  ASSERT_EQ(recorder_.failures.size(), 6u);
  for (const auto& [code, name] : recorder_.failures) EXPECT_EQ(code, 123u) << os::ToUtf8(name);
  EXPECT_EQ(ReadFile(outside + ORV_T("\\victim.txt")), "precious");
  EXPECT_EQ(ReadFile(folder_ / ORV_T("escaped.txt")), "precious");
  EXPECT_EQ(ReadFile(target_ + ORV_T("\\a.txt")), "a");
}

TEST_F(RestoreTest, ListingReportsTheFilesTheArchivesHold) {
  ASSERT_EQ(os::CreateDirectory(source_ + ORV_T("\\dir")), 0u);
  WriteFile(source_ + ORV_T("\\dir\\x.txt"), "xx");
  WriteFile(source_ + ORV_T("\\pagefile.sys"), "paged");
  WriteFile(source_ + ORV_T("\\y.txt"), "yyy");
  // A percent sign in the archive's path changes nothing.
  WriteImageFolder(image_ + ORV_T("%d"), source_, ORV_T("BASE.INP"));
  ASSERT_TRUE(object_.ListContent((image_ + ORV_T("%d")).c_str(), Record));
  std::sort(recorder_.listed.begin(), recorder_.listed.end());
  EXPECT_EQ(recorder_.listed, (std::vector<WString>{ORV_T("dir\\x.txt"), ORV_T("y.txt")}));
  EXPECT_FALSE(Exists(target_));

  // Enumeration reports every entry; refusing the third stops after it.
  recorder_ = Recorder{};
  recorder_.refuseWalkAt = 3;
  const WString archive = image_ + ORV_T("%d\\BASE.INP");
  EXPECT_FALSE(object_.EnumerateContent(archive.c_str(), Record));
  EXPECT_EQ(object_.GetLastErrorCode(), ORV_ERROR_CANCELLED);
  EXPECT_EQ(recorder_.walked.size(), 3u);
  recorder_ = Recorder{};
  EXPECT_TRUE(object_.EnumerateContent(archive.c_str(), Record));
  EXPECT_EQ(recorder_.walked.size(), 4u);

  ORVFILEATTRIBUTEDATA data{};
  ASSERT_TRUE(object_.GetEntryInfo(ORV_T("y.txt"), archive.c_str(), &data));
  EXPECT_EQ(data.nFileSizeLow, 3u);
  EXPECT_FALSE(object_.GetEntryInfo(ORV_T("y.txt"), archive.c_str(), nullptr));
  EXPECT_EQ(object_.GetLastErrorCode(), ORV_ERROR_ARG3);
}

TEST_F(RestoreTest, ExtractTakesTheWayTheFileNeeds) {
  WriteFile(source_ + ORV_T("\\a.txt"), "a");
  ASSERT_EQ(os::CreateDirectory(source_ + ORV_T("\\sub")), 0u);
  WriteFile(source_ + ORV_T("\\sub\\b.txt"), "b");
  WriteImageFolder(image_, source_, ORV_T("BASE.INP"));
  const WString archive = image_ + ORV_T("\\BASE.INP");
  ASSERT_TRUE(object_.Extract(archive.c_str(), target_.c_str(), Record)) << object_.GetLastErrorCode();
  EXPECT_EQ(TreeOf(target_), TreeOf(source_));
  EXPECT_EQ(recorder_.messages.front(), 101u);

  const WString single = folder_ / ORV_T("single");
  ASSERT_TRUE(object_.ExtractSingleFile(ORV_T("sub\\b.txt"), archive.c_str(), single.c_str()))
      << object_.GetLastErrorCode();
  EXPECT_EQ(ReadFile(single + ORV_T("\\sub\\b.txt")), "b");

  // A .wim name that is no WIM file goes the WIM way and fails there, writing nothing.
  WriteFile(folder_ / ORV_T("junk.WiM"), "not a wim");
  const WString junkTarget = folder_ / ORV_T("junk-target");
  EXPECT_FALSE(object_.Extract((folder_ / ORV_T("junk.WiM")).c_str(), junkTarget.c_str(), nullptr));
  EXPECT_NE(object_.GetLastErrorCode(), 0u);
  EXPECT_FALSE(Exists(junkTarget + ORV_T("\\a.txt")));
}

}  // namespace
}  // namespace orv::test
