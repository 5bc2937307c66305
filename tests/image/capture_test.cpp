// Full images of described disks whose partitions are folders of generated files: the
// PRELOAD tree, the catalogues, the archives' content, selection, rotation, exclusions,
// cancel, passwords, and the paths whose components are missing here.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_support.h"
#include "frame/factory.h"
#include "image/catalogue_xml.h"
#include "image/current_image.h"
#include "image/image.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "services/format.h"
#include "services_disk/described_disks.h"
#include "support/temp_folder.h"
#include "wim/wim.h"

namespace orv::test {
namespace {

// A disk of two partitions, each a folder of this test.
class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(os::CreateDirectory(first_), 0u);
    ASSERT_EQ(os::CreateDirectory(second_), 0u);
    ASSERT_EQ(os::CreateDirectory(target_), 0u);
  }

  std::string Disk() const {
    return DiskXml(0, 100 * kGiB,
                   PartitionXml(1, kMiB, 10 * kGiB, "07",
                                "FileSystem=\"NTFS\" Folder=\"" + os::ToUtf8(first_) + "\"") +
                       PartitionXml(2, 20 * kGiB, 10 * kGiB, "07",
                                    "FileSystem=\"NTFS\" Folder=\"" + os::ToUtf8(second_) + "\""));
  }

  BOOL Capture(DWORD type, ORVDCALLBACK callback = nullptr, LPCTSTR password = nullptr) {
    IMAGEDATA record{};
    record.dwImageType = type;
    record.dwSplitSizeMB = 650;
    record.pstrTargetDir = target_.c_str();
    record.pstrPassword = password;
    record.pCallBack = callback;
    const BOOL result = image_.CreateImage(&record);
    error_ = image_.GetLastErrorCode();
    return result;
  }

  WString PartFolder(int number) const {
    return target_ + Format(ORV_T("\\PRELOAD\\DISK0\\PART%d"), number);
  }

  static std::vector<WString> ArchiveNames(const WString& path) {
    COrvMorlet archive;
    EXPECT_TRUE(archive.Open(path.c_str(), 1, 5)) << os::ToUtf8(path);
    std::vector<WString> names = EntryNames(archive);
    archive.Close();
    std::sort(names.begin(), names.end());
    return names;
  }

  // The names of the ALL.CRC lines ("name=marker|size,time").
  static std::vector<WString> CatalogueNames(const WString& path) {
    const std::vector<uint8_t> bytes = RawFile(path);
    std::vector<WString> names;
    WString line;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {  // after the byte-order mark
      const Char c = static_cast<Char>(bytes[i] | (bytes[i + 1] << 8));
      if (c == '\n') {
        names.push_back(line.substr(0, line.find('=')));
        line.clear();
      } else if (c != '\r') {
        line += c;
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempFolder folder_;
  WString first_ = folder_ / ORV_T("c");
  WString second_ = folder_ / ORV_T("d");
  WString target_ = folder_ / ORV_T("images");
  COrvImage image_;
  DWORD error_ = 0;
};

TEST_F(CaptureTest, ArchiveImageHoldsEveryEntryWithItsCatalogues) {
  ASSERT_EQ(os::CreateDirectory(first_ + ORV_T("\\docs")), 0u);
  WriteFile(first_ + ORV_T("\\docs\\a.txt"), TextBytes(5000));
  WriteFile(first_ + ORV_T("\\b.bin"), NoiseBytes(70000, 3));
  WriteFile(second_ + ORV_T("\\c.txt"), "third");
  // Default exclusions at the root, and a longer root name that starts like one.
  WriteFile(first_ + ORV_T("\\pagefile.sys"), "paged");
  ASSERT_EQ(os::CreateDirectory(first_ + ORV_T("\\System Volume Information")), 0u);
  WriteFile(first_ + ORV_T("\\System Volume Information\\store"), "snapshots");
  ASSERT_EQ(os::CreateDirectory(first_ + ORV_T("\\recycler2")), 0u);
  WriteFile(first_ + ORV_T("\\recycler2\\x"), "x");
  DescribedDisks disks(Disk());

  ASSERT_TRUE(Capture(2)) << error_;
  EXPECT_EQ(ArchiveNames(PartFolder(1) + ORV_T("\\BASE.INP")),
            (std::vector<WString>{ORV_T("b.bin"), ORV_T("docs"), ORV_T("docs\\a.txt")}));
  EXPECT_EQ(ArchiveNames(PartFolder(2) + ORV_T("\\BASE.INP")), std::vector<WString>{ORV_T("c.txt")});
  EXPECT_EQ(CatalogueNames(PartFolder(1) + ORV_T("\\ALL.CRC")),
            (std::vector<WString>{ORV_T("b.bin"), ORV_T("docs"), ORV_T("docs\\a.txt")}));

  BaseCatalogue base;
  ASSERT_EQ(ReadBaseCatalogue(PartFolder(1) + ORV_T("\\BASE.XML"), base), 0u);
  EXPECT_EQ(base.size, 75000u);
  EXPECT_EQ(base.files, std::vector<WString>{ORV_T("BASE.INP")});
  EXPECT_TRUE(Exists(target_ + ORV_T("\\PRELOAD\\MRL.XML")));

  // The content comes back as it was.
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open((PartFolder(1) + ORV_T("\\BASE.INP")).c_str(), 1, 5));
  const WString out = folder_ / ORV_T("out");
  ASSERT_EQ(os::CreateDirectory(out), 0u);
  Char name[300] = {};
  while (archive.NextEntry(1) && archive.GetEntryName(name, 300) && WString(name) != ORV_T("b.bin")) {
  }
  ASSERT_EQ(WString(name), ORV_T("b.bin"));
  ASSERT_TRUE(archive.ExtractCurrent(out.c_str(), 0));
  EXPECT_EQ(ReadFile(out + ORV_T("\\b.bin")), NoiseBytes(70000, 3));
}

TEST_F(CaptureTest, PathsOfTwoHundredFortyCharactersAreLeftOut) {
  DescribedDisks disks(Disk());
  // The Windows path is "X:\" and the relative path: 239 characters are taken, 240 not.
  const WString kept(236, 'k');
  const WString dropped(237, 'd');
  WriteFile(first_ + ORV_T("\\") + kept, "kept");
  WriteFile(first_ + ORV_T("\\") + dropped, "dropped");
  ASSERT_TRUE(Capture(2)) << error_;
  EXPECT_EQ(ArchiveNames(PartFolder(1) + ORV_T("\\BASE.INP")), std::vector<WString>{kept});
}

std::vector<unsigned> g_offered;
unsigned g_refused = 0;
int g_polls = 0;

BOOL ORV_CALLBACK RefusePartition(ORVVALUE message, ORVVALUE first, ORVVALUE, ORVVALUE) {
  if (message != ORV_MSG_PARTITION) return TRUE;
  g_offered.push_back(unsigned(first));
  return unsigned(first) != g_refused;
}

BOOL ORV_CALLBACK RefuseAllPartitions(ORVVALUE message, ORVVALUE, ORVVALUE, ORVVALUE) {
  return message != ORV_MSG_PARTITION;
}

BOOL ORV_CALLBACK CancelAtTenthPoll(ORVVALUE message, ORVVALUE, ORVVALUE, ORVVALUE) {
  return message != ORV_MSG_CANCEL_POLL || ++g_polls < 10;
}

TEST_F(CaptureTest, PartitionsRefusedByTheCallerAreNotCaptured) {
  g_offered.clear();
  WriteFile(first_ + ORV_T("\\a"), "a");
  WriteFile(second_ + ORV_T("\\b"), "b");
  DescribedDisks disks(Disk());

  g_refused = 2;
  ASSERT_TRUE(Capture(2, RefusePartition)) << error_;
  EXPECT_EQ(g_offered, (std::vector<unsigned>{1, 2}));
  EXPECT_TRUE(Exists(PartFolder(1) + ORV_T("\\BASE.INP")));
  EXPECT_FALSE(Exists(PartFolder(2)));

  // Nothing chosen: nothing captured, and that is a success.
  ASSERT_TRUE(Capture(2, RefuseAllPartitions)) << error_;
  EXPECT_FALSE(Exists(PartFolder(1)));
  EXPECT_FALSE(Exists(PartFolder(2)));
}

TEST_F(CaptureTest, CancelLeavesNoPreloadTree) {
  for (int i = 0; i < 30; ++i) WriteFile(first_ + Format(ORV_T("\\f%d"), i), "data");
  DescribedDisks disks(Disk());
  g_polls = 0;
  EXPECT_FALSE(Capture(2, CancelAtTenthPoll));
  EXPECT_EQ(error_, ORV_ERROR_CANCELLED);
  EXPECT_FALSE(Exists(target_ + ORV_T("\\PRELOAD")));
}

TEST_F(CaptureTest, TypeSevenWritesCataloguesOnly) {
  WriteFile(first_ + ORV_T("\\a"), "a");
  DescribedDisks disks(Disk());
  ASSERT_TRUE(Capture(7)) << error_;
  EXPECT_EQ(RawFile(PartFolder(1) + ORV_T("\\ALL.CRC")), (std::vector<uint8_t>{0xFF, 0xFE}));
  BaseCatalogue base;
  ASSERT_EQ(ReadBaseCatalogue(PartFolder(1) + ORV_T("\\BASE.XML"), base), 0u);
  EXPECT_EQ(base.size, 0u);
  EXPECT_TRUE(base.files.empty());
  EXPECT_FALSE(Exists(PartFolder(1) + ORV_T("\\BASE.INP")));
}

TEST_F(CaptureTest, TypeTwoRotatesAfterFiveThousandEntries) {
  for (int i = 0; i < 5002; ++i) WriteFile(first_ + Format(ORV_T("\\%05d"), i), "");
  DescribedDisks disks(Disk());
  ASSERT_TRUE(Capture(2)) << error_;
  BaseCatalogue base;
  ASSERT_EQ(ReadBaseCatalogue(PartFolder(1) + ORV_T("\\BASE.XML"), base), 0u);
  EXPECT_EQ(base.files, (std::vector<WString>{ORV_T("BASE.INP"), ORV_T("BASE_01.INP")}));
  EXPECT_EQ(ArchiveNames(PartFolder(1) + ORV_T("\\BASE.INP")).size(), 5001u);
  EXPECT_EQ(ArchiveNames(PartFolder(1) + ORV_T("\\BASE_01.INP")).size(), 1u);
}

TEST_F(CaptureTest, PasswordTravelsInTheImageAndBadRecordsAreRefused) {
  WriteFile(first_ + ORV_T("\\a"), "a");
  DescribedDisks disks(Disk());
  ASSERT_TRUE(Capture(2, nullptr, ORV_T("secret"))) << error_;
  const std::vector<WString> names = ArchiveNames(PartFolder(1) + ORV_T("\\BASE.INP"));
  EXPECT_NE(std::find(names.begin(), names.end(), WString(ORV_T("QUEN.DAV"))), names.end());
  EXPECT_FALSE(Exists(first_ + ORV_T("\\QUEN.DAV")));  // taken away after the capture

  // A file-level archive keeps no password that can be read back.
  Char password[17] = {};
  EXPECT_FALSE(image_.GetPassword((target_ + ORV_T("\\PRELOAD\\DISK0\\PART1")).c_str(), password, 17));
  EXPECT_EQ(image_.GetLastErrorCode(), ORV_ERROR_NOT_SUPPORTED);
  EXPECT_FALSE(image_.GetPassword(first_.c_str(), password, 16));
  EXPECT_EQ(image_.GetLastErrorCode(), 0x10000004u);

  // A password the image cannot hold whole is refused, not cut.
  EXPECT_FALSE(Capture(2, nullptr, WString(42, 'p').c_str()));
  EXPECT_EQ(error_, 87u);
  EXPECT_FALSE(image_.CreateImage(nullptr));
  EXPECT_EQ(image_.GetLastErrorCode(), 87u);
}

TEST_F(CaptureTest, ASectorCopyOfAVolumeItCannotReadRawFailsThePartitionCleanly) {
  WriteFile(first_ + ORV_T("\\a"), "a");
  DescribedDisks disks(Disk());
  EXPECT_FALSE(Capture(3));
#if defined(_WIN32)
  // A volume reached through a folder has no drive letter for the copy on Windows.
  EXPECT_EQ(error_, ORV_ERROR_NO_DRIVE_LETTER);
#else
  // A plain folder is no device: the virtual-disk library cannot open the volume.
  EXPECT_EQ(error_, 110u);
#endif
  EXPECT_FALSE(Exists(target_ + ORV_T("\\PRELOAD")));
}

// Type 4 through the WIM binding: the image holds the tree less the default exclusions,
// and ALL.CRC lists what the engine was told to take. Without an engine the partition
// fails cleanly and no tree is left.
TEST_F(CaptureTest, WimImageTakesTheTreeThroughTheEngine) {
  WriteFile(first_ + ORV_T("\\a.txt"), "a");
  ASSERT_EQ(os::CreateDirectory(first_ + ORV_T("\\sub")), 0u);
  WriteFile(first_ + ORV_T("\\sub\\b.txt"), "b");
  WriteFile(first_ + ORV_T("\\hiberfil.sys"), "sleep");
  WriteFile(second_ + ORV_T("\\c.txt"), "c");
  DescribedDisks disks(Disk());
  COrvWim probe;
  probe.WIMGetImageCount(nullptr);
  if (probe.GetLastErrorCode() == ORV_ERROR_ARG1) {
    EXPECT_FALSE(Capture(4));
    EXPECT_EQ(error_, ORV_ERROR_ARG1);
    EXPECT_FALSE(Exists(target_ + ORV_T("\\PRELOAD")));
    return;
  }
  ASSERT_TRUE(Capture(4, nullptr, ORV_T("wim password"))) << error_;
  EXPECT_TRUE(Exists(PartFolder(1) + ORV_T("\\BASE.WIM")));
  Char password[17] = {};
  ASSERT_TRUE(image_.GetPassword(PartFolder(1).c_str(), password, 17)) << image_.GetLastErrorCode();
  EXPECT_EQ(WString(password), ORV_T("wim password"));
  // The password file is part of what the engine took.
  EXPECT_EQ(CatalogueNames(PartFolder(1) + ORV_T("\\ALL.CRC")),
            (std::vector<WString>{ORV_T("QUEN.DAV"), ORV_T("a.txt"), ORV_T("sub"), ORV_T("sub\\b.txt")}));
  EXPECT_FALSE(Exists(first_ + ORV_T("\\QUEN.DAV")));
  BaseCatalogue base;
  ASSERT_EQ(ReadBaseCatalogue(PartFolder(1) + ORV_T("\\BASE.XML"), base), 0u);
  EXPECT_EQ(base.files, std::vector<WString>{ORV_T("BASE.WIM")});
  EXPECT_EQ(base.size, 2u + 32u);
}

TEST(CurrentImage, NeverOutlivesItsObject) {
  COrvImage* older = CreateObject<COrvImage>();
  COrvImage* newer = CreateObject<COrvImage>();
  ASSERT_NE(older, nullptr);
  ASSERT_NE(newer, nullptr);
  EXPECT_EQ(CurrentImage(), newer);
  newer->Release();
  EXPECT_EQ(CurrentImage(), nullptr);
  older->Release();
  EXPECT_EQ(CurrentImage(), nullptr);
}

}  // namespace
}  // namespace orv::test
