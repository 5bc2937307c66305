// Recovery points of a system drive mapped to a folder: what the change database lists
// goes into BASE.INP, what went into DEL.XML, and the catalogues describe the point.
#include "recovery/recovery_point.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "archive/archive_support.h"
#include "archive/morlet.h"
#include "image/catalogue_xml.h"
#include "native_path.h"
#include "ntfs3g_volume.h"
#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/process.h"
#include "platform/volume.h"
#include "services/change_database.h"
#include "services/log.h"
#include "services/xml.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

// What the callback saw, for the checks; one test at a time uses it.
struct CallbackLog {
  std::vector<ORVVALUE> messages;
  DWORD journalFlagAt401 = 0;
  ORVVALUE refuse = 0;  // the message answered 0
  int refuseAfter = 0;  // how many of it are answered 1 first
};
CallbackLog g_callback;

BOOL ORV_CALLBACK Recorder(ORVVALUE message, ORVVALUE, ORVVALUE, ORVVALUE) {
  g_callback.messages.push_back(message);
  if (message == ORV_MSG_SCAN_AMOUNT)
    os::ReadRegistryDword(ORV_T("SOFTWARE\\Halvern"), ORV_T("JournalReset"),
                          g_callback.journalFlagAt401);
  if (message == g_callback.refuse && g_callback.refuseAfter-- <= 0) return FALSE;
  return TRUE;
}

class RecoveryPointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_callback = CallbackLog{};
    ASSERT_EQ(os::CreateDirectory(volume_), 0u);
    ASSERT_EQ(os::CreateDirectory(outside_), 0u);
    ASSERT_EQ(os::SetDriveFolder('C', os::FromUtf8(test::Native(volume_))), 0u);
    setenv("VANTREL_REGISTRY", test::Native(folder_ / ORV_T("registry")).c_str(), 1);
    std::unique_ptr<ChangeDatabase> db;
    ASSERT_EQ(ChangeDatabase::Open(test::Native(database_), ChangeDatabase::Mode::kWrite, db), 0u);
  }
  void TearDown() override {
    os::SetDriveFolder('C', ORV_T(""));
    unsetenv("VANTREL_REGISTRY");
  }

  void Record(const WString& path, DWORD kind, DWORD attributes = os::kAttrArchive,
              os::FileTime time = os::FileTimeToLocal(os::CurrentFileTime())) {
    std::unique_ptr<ChangeDatabase> db;
    ASSERT_EQ(ChangeDatabase::Open(test::Native(database_), ChangeDatabase::Mode::kWrite, db), 0u);
    ASSERT_EQ(db->Record(MonitoredChange{path, kind, attributes, time}), 0u);
  }

  BOOL Create(ORVDCALLBACK callback = nullptr,
              const WString& description = ORV_T("before the update")) {
    COrvLog& log = COrvLog::GetInstance();
    const DWORD savedMask = log.LevelMask();
    log.SetLevelMask(COrvLog::kAllLevels);
    if (!log.IsInitialized()) log.Init(1);
    EXPECT_EQ(log.Redirect(folder_ / ORV_T("recovery.log")), 0u);
    COrvRecoveryPoint point;
    const BOOL made = point.Create(database_.c_str(), last_.c_str(), point_.c_str(),
                                   description.c_str(), callback);
    error_ = point.GetLastErrorCode();
    log.Redirect(ORV_T(""));
    log.SetLevelMask(savedMask);
    logText_ = ReadFile(folder_ / ORV_T("recovery.log"));
    return made;
  }

  // The archive's entries and what each holds ("<dir>" for folders).
  std::map<WString, std::string> Stored() const {
    COrvMorlet archive;
    EXPECT_TRUE(archive.Open((point_ + ORV_T("\\BASE.INP")).c_str(), 1, 5));
    static int extractions = 0;
    const WString out = folder_ / os::FromUtf8("extracted-" + std::to_string(++extractions));
    while (archive.NextEntry(1)) EXPECT_TRUE(archive.ExtractCurrent(out.c_str(), 0));
    archive.Close();
    return TreeOf(out);
  }

  std::vector<std::pair<WString, bool>> Deleted() const {
    std::vector<DeletedEntry> entries;
    EXPECT_EQ(ReadDeletionList(point_ + ORV_T("\\DEL.XML"), entries), 0u);
    std::vector<std::pair<WString, bool>> list;
    for (const DeletedEntry& entry : entries) list.emplace_back(entry.path, entry.directory);
    std::sort(list.begin(), list.end());
    return list;
  }

  bool JournalFlagSet() const {
    DWORD value = 0;
    return os::ReadRegistryDword(ORV_T("SOFTWARE\\Halvern"), ORV_T("JournalReset"), value) == 0;
  }

  TempFolder folder_;
  WString volume_ = folder_ / ORV_T("volume");
  WString outside_ = folder_ / ORV_T("outside");
  WString database_ = folder_ / ORV_T("changes.db");
  WString last_ = folder_ / ORV_T("points\\1");
  WString point_ = folder_ / ORV_T("points\\2");
  DWORD error_ = 0;
  std::string logText_;
};

TEST_F(RecoveryPointTest, StoresChangesAndListsDeletions) {
  ASSERT_EQ(os::CreateDirectoryTree(volume_ + ORV_T("\\docs\\deep")), 0u);
  ASSERT_EQ(os::CreateDirectoryTree(volume_ + ORV_T("\\new\\inner")), 0u);
  WriteFile(volume_ + ORV_T("\\docs\\deep\\changed.txt"), "changed content");
  WriteFile(volume_ + ORV_T("\\docs\\created.txt"), "created");
  WriteFile(volume_ + ORV_T("\\docs\\untouched.txt"), "not listed");
  WriteFile(volume_ + ORV_T("\\new\\a.txt"), "new a");
  WriteFile(volume_ + ORV_T("\\new\\inner\\b.txt"), "new b");
  Record(ORV_T("C:\\docs\\deep\\changed.txt"), kChangeModified);
  Record(ORV_T("C:\\docs\\created.txt"), kChangeCreated);
  Record(ORV_T("c:\\new"), kChangeCreated, os::kAttrDirectory);
  Record(ORV_T("C:\\docs\\removed.txt"), kChangeDeleted);
  Record(ORV_T("C:\\olddir"), kChangeDeleted, os::kAttrDirectory);
  // Changed, then deleted before the point was made.
  Record(ORV_T("C:\\docs\\vanished.txt"), kChangeModified);
  // Reported deleted, but there again: a later change stands for it.
  Record(ORV_T("C:\\docs\\created.txt"), kChangeDeleted);

  ASSERT_TRUE(Create(Recorder)) << error_ << "\n" << logText_;
  EXPECT_FALSE(JournalFlagSet());
  EXPECT_EQ(g_callback.journalFlagAt401, 1u);  // set while the database was read

  // Every change with its parents and the new folder's whole content; no previous
  // BASE.XML, so every row counts.
  EXPECT_EQ(Stored(), (std::map<WString, std::string>{
                          {ORV_T("changes.db"), ReadFile(database_)},
                          {ORV_T("docs"), "<dir>"},
                          {ORV_T("docs\\created.txt"), "created"},
                          {ORV_T("docs\\deep"), "<dir>"},
                          {ORV_T("docs\\deep\\changed.txt"), "changed content"},
                          {ORV_T("new"), "<dir>"},
                          {ORV_T("new\\a.txt"), "new a"},
                          {ORV_T("new\\inner"), "<dir>"},
                          {ORV_T("new\\inner\\b.txt"), "new b"},
                      }))
      << logText_;
  EXPECT_EQ(Deleted(), (std::vector<std::pair<WString, bool>>{{ORV_T("docs\\removed.txt"), false},
                                                              {ORV_T("docs\\vanished.txt"), false},
                                                              {ORV_T("olddir"), true}}));
  EXPECT_NE(logText_.find("\\docs\\vanished.txt in DEL.XML"), std::string::npos) << logText_;

  // BASE.XML counts the files under "File"; DESC.TXT has its heading and the text.
  CatalogueDocument base = OpenCatalogueDocument(point_ + ORV_T("\\BASE.XML"), ORV_T("image"));
  ASSERT_TRUE(base.IsOpen());
  DWORD files = 0;
  uint64_t size = 0;
  EXPECT_TRUE(ReadAttribute(*base.root, ORV_T("File"), files));
  EXPECT_FALSE(ReadAttribute(*base.root, ORV_T("Files"), files));
  EXPECT_TRUE(ReadAttribute(*base.root, ORV_T("Size"), size));
  EXPECT_EQ(files, 9u);
  EXPECT_EQ(size, FileSize(database_) + 15 + 7 + 5 + 5);
  BaseCatalogue catalogue;
  ASSERT_EQ(ReadBaseCatalogue(point_ + ORV_T("\\BASE.XML"), catalogue), 0u);
  EXPECT_EQ(catalogue.files, std::vector<WString>{ORV_T("BASE.INP")});
  const std::vector<uint8_t> desc = RawFile(point_ + ORV_T("\\DESC.TXT"));
  ASSERT_GE(desc.size(), 2u);
  const WString text(reinterpret_cast<const Char*>(desc.data() + 2), (desc.size() - 2) / 2);
  EXPECT_EQ(
      text.rfind(ORV_T("Description File 4.0\r\n\r\n[Diff]\r\nText=before the update\r\nTime="), 0),
      0u)
      << os::ToUtf8(text);
  EXPECT_NE(text.find(ORV_T("\r\nFiles=9\r\n")), WString::npos);

  // The callback heard the count (101), each change (400), progress and polls.
  for (ORVVALUE message :
       {ORV_MSG_FILE, ORV_MSG_SCAN_AMOUNT, ORV_MSG_START, ORV_MSG_PROGRESS, ORV_MSG_CANCEL_POLL})
    EXPECT_NE(std::find(g_callback.messages.begin(), g_callback.messages.end(), message),
              g_callback.messages.end())
        << message;
}

TEST_F(RecoveryPointTest, TakesOnlyChangesAfterThePreviousPoint) {
  WriteFile(volume_ + ORV_T("\\old.txt"), "old");
  WriteFile(volume_ + ORV_T("\\recent.txt"), "recent");
  ASSERT_EQ(os::CreateDirectoryTree(last_), 0u);
  WriteFile(last_ + ORV_T("\\BASE.XML"), "<image/>");
  const os::FileTime previous = os::CurrentFileTime() - 3600ull * 10000000;  // an hour ago
  ASSERT_EQ(os::SetTimes(last_ + ORV_T("\\BASE.XML"), os::FileTimes{0, 0, previous}), 0u);
  const os::FileTime minute = 60ull * 10000000;
  Record(ORV_T("C:\\old.txt"), kChangeModified, os::kAttrArchive,
         os::FileTimeToLocal(previous) - minute);
  Record(ORV_T("C:\\gone-long-ago.txt"), kChangeDeleted, os::kAttrArchive,
         os::FileTimeToLocal(previous) - minute);
  Record(ORV_T("C:\\recent.txt"), kChangeModified, os::kAttrArchive,
         os::FileTimeToLocal(previous) + minute);

  ASSERT_TRUE(Create(nullptr)) << error_ << "\n" << logText_;
  const std::map<WString, std::string> stored = Stored();
  EXPECT_EQ(stored.count(ORV_T("recent.txt")), 1u);
  EXPECT_EQ(stored.count(ORV_T("old.txt")), 0u);
  EXPECT_TRUE(Deleted().empty());
}

TEST_F(RecoveryPointTest, CancelAndRefusedSpaceLeaveNoFolder) {
  WriteFile(volume_ + ORV_T("\\a.txt"), "a");
  WriteFile(volume_ + ORV_T("\\b.txt"), "b");
  Record(ORV_T("C:\\a.txt"), kChangeModified);
  Record(ORV_T("C:\\b.txt"), kChangeModified);
  Record(ORV_T("C:\\c.txt"), kChangeDeleted);

  struct Case {
    ORVVALUE refuse;
    int after;
    DWORD error;
  };
  for (const Case& c : {Case{ORV_MSG_PROGRESS, 0, ORV_ERROR_CANCELLED},
                        Case{ORV_MSG_PROGRESS, 2, ORV_ERROR_CANCELLED},
                        Case{ORV_MSG_CANCEL_POLL, 0, ORV_ERROR_CANCELLED},
                        Case{ORV_MSG_CANCEL_POLL, 4, ORV_ERROR_CANCELLED},
                        Case{ORV_MSG_SCAN_AMOUNT, 0, ORV_ERROR_NO_SPACE_FOR_CHANGES}}) {
    g_callback = CallbackLog{};
    g_callback.refuse = c.refuse;
    g_callback.refuseAfter = c.after;
    EXPECT_FALSE(Create(Recorder)) << c.refuse << " after " << c.after;
    EXPECT_EQ(error_, c.error) << c.refuse << " after " << c.after;
    EXPECT_FALSE(Exists(point_)) << c.refuse << " after " << c.after;
    EXPECT_FALSE(JournalFlagSet());
  }
}

TEST_F(RecoveryPointTest, PathsOffTheSystemDriveAreRefusedUnread) {
  WriteFile(outside_ + ORV_T("\\secret.txt"), "secret");
  WriteFile(volume_ + ORV_T("\\fine.txt"), "fine");
  ASSERT_EQ(symlink(test::Native(outside_).c_str(), (test::Native(volume_) + "/link").c_str()), 0);
  Record(ORV_T("C:\\..\\outside\\secret.txt"), kChangeModified);
  Record(ORV_T("C:\\..\\..\\etc\\passwd"), kChangeModified);
  Record(ORV_T("D:\\x"), kChangeModified);
  Record(ORV_T("\\\\server\\share\\x"), kChangeModified);
  Record(ORV_T("C:relative.txt"), kChangeModified);
  Record(ORV_T("C:\\link\\secret.txt"), kChangeModified);
  Record(ORV_T("C:\\..\\outside\\secret.txt"), kChangeDeleted);
  Record(ORV_T("C:\\fine.txt"), kChangeModified);

  ASSERT_TRUE(Create(nullptr)) << error_ << "\n" << logText_;
  const std::map<WString, std::string> stored = Stored();
  for (const auto& [name, content] : stored) EXPECT_NE(content, "secret") << os::ToUtf8(name);
  EXPECT_EQ(stored.count(ORV_T("fine.txt")), 1u);
  EXPECT_TRUE(Deleted().empty());
  EXPECT_NE(logText_.find("C:\\..\\..\\etc\\passwd is not a path on the system drive"),
            std::string::npos);
  EXPECT_NE(logText_.find("\\\\server\\share\\x is not a path on the system drive"),
            std::string::npos);
  EXPECT_NE(logText_.find("lies behind the link \\link"), std::string::npos) << logText_;
}

TEST_F(RecoveryPointTest, RefusesArgumentsBeforeTouchingAnything) {
  ASSERT_EQ(os::CreateDirectoryTree(last_), 0u);
  WriteFile(last_ + ORV_T("\\BASE.XML"), "<image/>");
  const WString points = folder_ / ORV_T("points");
  COrvRecoveryPoint point;
  // The new folder is the previous point, or holds it, or holds the database.
  EXPECT_FALSE(point.Create(database_.c_str(), last_.c_str(), last_.c_str(), ORV_T(""), nullptr));
  EXPECT_EQ(point.GetLastErrorCode(), 87u);
  EXPECT_FALSE(point.Create(database_.c_str(), last_.c_str(), points.c_str(), ORV_T(""), nullptr));
  EXPECT_EQ(point.GetLastErrorCode(), 87u);
  EXPECT_FALSE(point.Create(database_.c_str(), last_.c_str(), (points + ORV_T("\\1\\.")).c_str(),
                            ORV_T(""), nullptr));
  EXPECT_EQ(point.GetLastErrorCode(), 87u);
  EXPECT_FALSE(
      point.Create(database_.c_str(), last_.c_str(), folder_.Path().c_str(), ORV_T(""), nullptr));
  EXPECT_EQ(point.GetLastErrorCode(), 87u);
  EXPECT_TRUE(Exists(last_ + ORV_T("\\BASE.XML")));
  // A description of 1561 characters; 1560 is taken whole.
  const WString longest(1560, 'd');
  EXPECT_FALSE(point.Create(database_.c_str(), last_.c_str(), point_.c_str(),
                            (longest + ORV_T("d")).c_str(), nullptr));
  EXPECT_EQ(point.GetLastErrorCode(), 87u);
  EXPECT_FALSE(Exists(point_));
  ASSERT_TRUE(Create(nullptr, longest)) << error_;
  EXPECT_NE(ReadFile(point_ + ORV_T("\\DESC.TXT")).size(), 0u);
  const std::vector<uint8_t> desc = RawFile(point_ + ORV_T("\\DESC.TXT"));
  const WString text(reinterpret_cast<const Char*>(desc.data() + 2), (desc.size() - 2) / 2);
  EXPECT_NE(text.find(ORV_T("Text=") + longest + ORV_T("\r\n")), WString::npos);
  // A database that cannot be opened fails the point and leaves no folder.
  EXPECT_FALSE(point.Create((folder_ / ORV_T("missing.db")).c_str(), last_.c_str(), point_.c_str(),
                            ORV_T(""), nullptr));
  EXPECT_EQ(point.GetLastErrorCode(), 2u);
  EXPECT_FALSE(Exists(point_));
  EXPECT_FALSE(JournalFlagSet());
}

TEST_F(RecoveryPointTest, EncryptedFilesAreStoredAsTheirRawStream) {
  WriteFile(volume_ + ORV_T("\\plain.txt"), "plain");
  WriteFile(volume_ + ORV_T("\\secret.txt"), "sealed");
  DWORD attributes = 0;
  ASSERT_EQ(os::GetAttributes(volume_ + ORV_T("\\secret.txt"), attributes), 0u);
  ASSERT_EQ(os::SetAttributes(volume_ + ORV_T("\\secret.txt"), attributes | os::kAttrEncrypted),
            0u);
  Record(ORV_T("C:\\secret.txt"), kChangeModified, os::kAttrEncrypted);

  ASSERT_TRUE(Create(nullptr)) << error_ << "\n" << logText_;
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open((point_ + ORV_T("\\BASE.INP")).c_str(), 1, 5));
  ASSERT_TRUE(archive.FindEntry(ORV_T("secret.txt")));
  EXPECT_NE(archive.GetEntryAttributes().dwFileAttributes & os::kAttrEncrypted, 0u);
  archive.Close();
  EXPECT_TRUE(Deleted().empty());
  // No temporary copy is left in the point.
  for (const WString& name : FolderNames(point_))
    EXPECT_EQ(name.find(ORV_T("secret")), WString::npos) << os::ToUtf8(name);

  // A stream that cannot be exported fails the point with its cause; the file is
  // never listed as deleted.
  os::File holder;
  ASSERT_EQ(holder.Open(volume_ + ORV_T("\\secret.txt"), os::kGenericRead, 0,
                        os::Disposition::kOpenExisting),
            0u);
  EXPECT_FALSE(Create(nullptr));
  holder.Close();
  EXPECT_EQ(error_, err::kSharingViolation);
  EXPECT_NE(logText_.find("Cannot export the raw stream of the encrypted file \\secret.txt - 32"),
            std::string::npos)
      << logText_;
  EXPECT_EQ(logText_.find("in DEL.XML"), std::string::npos);
  EXPECT_FALSE(Exists(point_));
}

// A changed file that another handle holds without sharing, on an NTFS drive (ntfs-3g
// on an image file) with no snapshot to read it from, comes out of the master file table.
TEST_F(RecoveryPointTest, ALockedFileOfAnNtfsDriveIsTakenFromTheMasterFileTable) {
  Ntfs3gVolume volume;
  const std::string why = volume.Mount(NativeOf(folder_.Path()), "c");
  if (!why.empty()) GTEST_SKIP() << why;
  const std::string content = NoiseBytes(150000, 9);
  WriteFile(volume.Path() + ORV_T("/locked.bin"), content);
  sync();  // the table reader reads the device, not the driver's cache
  ASSERT_EQ(os::SetDriveFolder('C', volume.Path()), 0u);
  Record(ORV_T("C:\\locked.bin"), kChangeModified);
  os::File holder;
  ASSERT_EQ(holder.Open(volume.Path() + ORV_T("/locked.bin"), os::kGenericRead, 0,
                        os::Disposition::kOpenExisting),
            0u);
  const BOOL made = Create(nullptr);
  holder.Close();
  ASSERT_TRUE(made) << error_ << "\n" << logText_;
  EXPECT_NE(logText_.find("\\locked.bin copied out through the file table"), std::string::npos);
  EXPECT_EQ(Stored()[ORV_T("locked.bin")], content);
}

}  // namespace
}  // namespace orv::test
