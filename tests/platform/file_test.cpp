// Files by handle with Windows semantics: dispositions, share modes, read-only files,
// folders, times and attributes. The same cases run against both backends.
#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/process.h"
#include "support/temp_folder.h"

namespace orv::os {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

constexpr DWORD kShareAll = kShareRead | kShareWrite | kShareDelete;
constexpr DWORD kReadWrite = kGenericRead | kGenericWrite;

// Wine on a Linux host keeps no creation times, and, run as root, neither refuses to
// write a read-only file nor checks a handle's access before setting its times; those
// checks are left to real Windows and to Linux.
bool UnderWine() {
  Module ntdll;
  return ntdll.Load(ORV_T("ntdll.dll")) == 0 && ntdll.Find("wine_get_version") != nullptr;
}

DWORD OpenFile(File& file, WStringView path, DWORD access, DWORD share, Disposition disposition) {
  return file.Open(path, access, share, disposition);
}

TEST(FileOpen, DispositionsFollowWindowsRules) {
  TempFolder temp;
  const WString path = temp / ORV_T("data.bin");
  File file;
  EXPECT_EQ(OpenFile(file, path, kGenericRead, kShareAll, Disposition::kOpenExisting),
            err::kFileNotFound);
  EXPECT_EQ(OpenFile(file, path, kGenericWrite, kShareAll, Disposition::kTruncateExisting),
            err::kFileNotFound);
  EXPECT_EQ(OpenFile(file, temp / ORV_T("missing\\data.bin"), kGenericWrite, kShareAll,
                     Disposition::kCreateAlways),
            err::kPathNotFound);
  EXPECT_FALSE(file.IsOpen());

  WriteFile(path, "original content");
  EXPECT_EQ(OpenFile(file, path, kGenericWrite, kShareAll, Disposition::kCreateNew),
            err::kFileExists);

  ASSERT_EQ(OpenFile(file, path, kGenericWrite, kShareAll, Disposition::kOpenAlways), 0u);
  file.Close();
  EXPECT_EQ(ReadFile(path), "original content");

  ASSERT_EQ(OpenFile(file, path, kGenericWrite, kShareAll, Disposition::kCreateAlways), 0u);
  uint64_t size = 99;
  ASSERT_EQ(file.Size(size), 0u);
  EXPECT_EQ(size, 0u);
  file.Close();

  WriteFile(path, "again");
  ASSERT_EQ(OpenFile(file, path, kGenericWrite, kShareAll, Disposition::kTruncateExisting), 0u);
  file.Close();
  EXPECT_EQ(ReadFile(path), "");

  ASSERT_EQ(OpenFile(file, temp / ORV_T("fresh.bin"), kGenericWrite, 0, Disposition::kOpenAlways),
            0u);
  EXPECT_TRUE(file.IsOpen());
}

TEST(FileOpen, ReadWriteSeekAndSetEnd) {
  TempFolder temp;
  File file;
  ASSERT_EQ(OpenFile(file, temp / ORV_T("f"), kReadWrite, 0, Disposition::kCreateNew), 0u);
  DWORD done = 0;
  ASSERT_EQ(file.Write("0123456789", 10, done), 0u);
  EXPECT_EQ(done, 10u);
  uint64_t position = 0;
  ASSERT_EQ(file.Seek(-4, SeekFrom::kEnd, &position), 0u);
  EXPECT_EQ(position, 6u);
  char buffer[16] = {};
  ASSERT_EQ(file.Read(buffer, sizeof buffer, done), 0u);
  EXPECT_EQ(std::string(buffer, done), "6789");  // short only at the end of the file
  ASSERT_EQ(file.Seek(3, SeekFrom::kBegin), 0u);
  ASSERT_EQ(file.SetEnd(), 0u);
  ASSERT_EQ(file.Seek(8, SeekFrom::kBegin), 0u);
  ASSERT_EQ(file.SetEnd(), 0u);  // extends with zeros
  uint64_t size = 0;
  ASSERT_EQ(file.Size(size), 0u);
  EXPECT_EQ(size, 8u);
  ASSERT_EQ(file.Flush(), 0u);
  file.Close();
  EXPECT_EQ(ReadFile(temp / ORV_T("f")), std::string("012\0\0\0\0\0", 8));

  // Access is enforced per handle.
  ASSERT_EQ(OpenFile(file, temp / ORV_T("f"), kGenericRead, kShareAll, Disposition::kOpenExisting),
            0u);
  EXPECT_EQ(file.Write("x", 1, done), err::kAccessDenied);
  if (!UnderWine()) {
    EXPECT_EQ(file.SetTimes(FileTimes{0, 0, 130000000000000000ULL}), err::kAccessDenied);
  }
}

TEST(FileShare, ModesAreCheckedInBothDirections) {
  TempFolder temp;
  const WString path = temp / ORV_T("shared.bin");
  WriteFile(path, "x");

  File reader;
  ASSERT_EQ(OpenFile(reader, path, kGenericRead, kShareRead, Disposition::kOpenExisting), 0u);
  File second;
  EXPECT_EQ(OpenFile(second, path, kGenericRead, kShareAll, Disposition::kOpenExisting), 0u);
  second.Close();
  File writer;
  // The new access against the open handle's share mode...
  EXPECT_EQ(OpenFile(writer, path, kGenericWrite, kShareAll, Disposition::kOpenExisting),
            err::kSharingViolation);
  reader.Close();

  ASSERT_EQ(OpenFile(writer, path, kGenericWrite, kShareAll, Disposition::kOpenExisting), 0u);
  // ...and the new share mode against the open handle's access.
  EXPECT_EQ(OpenFile(reader, path, kGenericRead, kShareRead, Disposition::kOpenExisting),
            err::kSharingViolation);
  writer.Close();
  ASSERT_EQ(OpenFile(reader, path, kGenericRead, kShareAll, Disposition::kOpenExisting), 0u);
  EXPECT_EQ(
      OpenFile(writer, path, kGenericWrite, kShareWrite | kShareDelete, Disposition::kOpenExisting),
      err::kSharingViolation);
  reader.Close();

  // No sharing refuses every other open, and a refused open truncates nothing.
  File exclusive;
  ASSERT_EQ(OpenFile(exclusive, path, kGenericRead, 0, Disposition::kOpenExisting), 0u);
  EXPECT_EQ(OpenFile(second, path, kGenericRead, kShareAll, Disposition::kOpenExisting),
            err::kSharingViolation);
  EXPECT_EQ(OpenFile(writer, path, kGenericWrite, kShareAll, Disposition::kCreateAlways),
            err::kSharingViolation);
  // An open for attributes alone takes no part in sharing.
  EXPECT_EQ(OpenFile(second, path, kFileReadAttributes, kShareAll, Disposition::kOpenExisting), 0u);
  exclusive.Close();
  EXPECT_EQ(ReadFile(path), "x");
}

TEST(FileShare, DeleteAndMoveNeedShareDelete) {
  TempFolder temp;
  const WString path = temp / ORV_T("held.bin");
  WriteFile(path, "x");
  File holder;
  ASSERT_EQ(
      OpenFile(holder, path, kGenericRead, kShareRead | kShareWrite, Disposition::kOpenExisting),
      0u);
  EXPECT_EQ(DeleteFile(path), err::kSharingViolation);
  EXPECT_EQ(MoveFile(path, temp / ORV_T("moved.bin"), false), err::kSharingViolation);
  File deleter;
  EXPECT_EQ(OpenFile(deleter, path, kDeleteAccess, kShareAll, Disposition::kOpenExisting),
            err::kSharingViolation);
  holder.Close();

  ASSERT_EQ(OpenFile(holder, path, kGenericRead, kShareAll, Disposition::kOpenExisting), 0u);
  EXPECT_EQ(DeleteFile(path), 0u);
  holder.Close();
  DWORD attributes = 0;
  EXPECT_EQ(GetAttributes(path, attributes), err::kFileNotFound);
}

TEST(FileOpen, ReadOnlyFilesRefuseWritingAndDeletion) {
  TempFolder temp;
  const WString path = temp / ORV_T("locked.txt");
  WriteFile(path, "keep");
  ASSERT_EQ(SetAttributes(path, kAttrReadOnly), 0u);
  File file;
  if (!UnderWine()) {
    EXPECT_EQ(OpenFile(file, path, kGenericWrite, kShareAll, Disposition::kOpenExisting),
              err::kAccessDenied);
    EXPECT_EQ(OpenFile(file, path, kGenericWrite, kShareAll, Disposition::kCreateAlways),
              err::kAccessDenied);
  }
  EXPECT_EQ(DeleteFile(path), err::kAccessDenied);
  EXPECT_EQ(OpenFile(file, path, kGenericRead, kShareAll, Disposition::kOpenExisting), 0u);
  file.Close();
  EXPECT_EQ(ReadFile(path), "keep");
  ASSERT_EQ(SetAttributes(path, kAttrNormal), 0u);
  EXPECT_EQ(DeleteFile(path), 0u);
}

TEST(FileOpen, CreateAlwaysOnHiddenFileMustNameTheAttribute) {
  TempFolder temp;
  const WString path = temp / ORV_T("hidden.txt");
  WriteFile(path, "x");
  ASSERT_EQ(SetAttributes(path, kAttrHidden), 0u);
  File file;
  if (!UnderWine()) {
    EXPECT_EQ(file.Open(path, kGenericWrite, 0, Disposition::kCreateAlways, kAttrNormal),
              err::kAccessDenied);
  }
  EXPECT_EQ(file.Open(path, kGenericWrite, 0, Disposition::kCreateAlways, kAttrHidden), 0u);
}

TEST(FileOpen, FoldersOpenOnlyWithBackupSemantics) {
  TempFolder temp;
  const WString folder = temp / ORV_T("sub");
  ASSERT_EQ(CreateDirectory(folder), 0u);
  File file;
  EXPECT_EQ(OpenFile(file, folder, kGenericRead, kShareAll, Disposition::kOpenExisting),
            err::kAccessDenied);
  ASSERT_EQ(
      file.Open(folder, kGenericRead, kShareAll, Disposition::kOpenExisting, kBackupSemantics), 0u);
  FileInfo info;
  ASSERT_EQ(file.GetInfo(info), 0u);
  EXPECT_EQ(info.attributes & kAttrDirectory, kAttrDirectory);
  EXPECT_EQ(info.size, 0u);
}

TEST(FileMetadata, TimesRoundTripByHandleAndByPath) {
  TempFolder temp;
  const WString path = temp / ORV_T("times.bin");
  WriteFile(path, "x");
  // Three different times in 2020-2022, with odd 100 ns counts.
  const FileTimes set{132223104001234567ULL, 132682752007654321ULL, 133169184000000001ULL};
  {
    File file;
    ASSERT_EQ(OpenFile(file, path, kGenericWrite, kShareAll, Disposition::kOpenExisting), 0u);
    ASSERT_EQ(file.SetTimes(set), 0u);
    FileInfo info;
    ASSERT_EQ(file.GetInfo(info), 0u);
    if (!UnderWine()) {
      EXPECT_EQ(info.times.creation, set.creation);
    }
    EXPECT_EQ(info.times.lastAccess, set.lastAccess);
    EXPECT_EQ(info.times.lastWrite, set.lastWrite);
  }
  // A zero time leaves that time alone.
  ASSERT_EQ(SetTimes(path, FileTimes{0, 0, 133000000000000000ULL}), 0u);
  FileInfo info;
  ASSERT_EQ(GetInfo(path, info), 0u);
  if (!UnderWine()) {
    EXPECT_EQ(info.times.creation, set.creation);
  }
  EXPECT_EQ(info.times.lastAccess, set.lastAccess);
  EXPECT_EQ(info.times.lastWrite, 133000000000000000ULL);
  EXPECT_EQ(info.size, 1u);
  EXPECT_EQ(info.links, 1u);
}

TEST(FileMetadata, AttributesRoundTrip) {
  constexpr DWORD kKept = kAttrHidden | kAttrSystem | kAttrReadOnly | kAttrDirectory;
  TempFolder temp;
  const WString path = temp / ORV_T("attributes.txt");
  WriteFile(path, "x");
  DWORD attributes = 0;
  ASSERT_EQ(GetAttributes(path, attributes), 0u);
  EXPECT_EQ(attributes & kKept, 0u);

  ASSERT_EQ(SetAttributes(path, kAttrHidden | kAttrSystem | kAttrReadOnly), 0u);
  ASSERT_EQ(GetAttributes(path, attributes), 0u);
  EXPECT_EQ(attributes & kKept, kAttrHidden | kAttrSystem | kAttrReadOnly);
  ASSERT_EQ(SetAttributes(path, kAttrNormal), 0u);
  ASSERT_EQ(GetAttributes(path, attributes), 0u);
  EXPECT_EQ(attributes & kKept, 0u);

  const WString folder = temp / ORV_T("dir");
  ASSERT_EQ(CreateDirectory(folder), 0u);
  ASSERT_EQ(SetAttributes(folder, kAttrHidden), 0u);
  ASSERT_EQ(GetAttributes(folder, attributes), 0u);
  EXPECT_EQ(attributes & kKept, kAttrHidden | kAttrDirectory);

  EXPECT_EQ(GetAttributes(temp / ORV_T("nothing"), attributes), err::kFileNotFound);
  EXPECT_EQ(GetAttributes(temp / ORV_T("nothing\\deeper"), attributes), err::kPathNotFound);
}

TEST(FileMetadata, NewFilesTakeTheRequestedAttributes) {
  TempFolder temp;
  const WString path = temp / ORV_T("created.txt");
  File file;
  ASSERT_EQ(file.Open(path, kGenericWrite, 0, Disposition::kCreateNew, kAttrHidden), 0u);
  DWORD done = 0;
  EXPECT_EQ(file.Write("x", 1, done), 0u);  // its own creator may write it
  file.Close();
  DWORD attributes = 0;
  ASSERT_EQ(GetAttributes(path, attributes), 0u);
  EXPECT_EQ(attributes & (kAttrHidden | kAttrReadOnly | kAttrDirectory), kAttrHidden);
}

}  // namespace
}  // namespace orv::os
