// Windows metadata kept in extended attributes, links in searches, the strict NTFS
// order of search results, and notices for what cannot be kept.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "mapped_drive.h"
#include "platform/dir_search.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/notice.h"
#include "platform/posix/metadata.h"
#include "platform/posix/ntfs3g.h"

namespace orv::os {
namespace {

using test::WriteFile;

using Metadata = MappedDrive;

std::string Little(uint64_t value, size_t size) {
  std::string bytes;
  for (size_t i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

std::vector<WString> g_notices;
void CollectNotice(WStringView text) { g_notices.emplace_back(text); }

TEST_F(Metadata, AttributesAndTimesLiveInNamedAttributes) {
  WriteFile(ORV_T("Q:\\f.txt"), "x");
  EXPECT_EQ(Xattr("f.txt", posix::kAttributesXattr), "<absent>");
  DWORD attributes = 0;
  ASSERT_EQ(GetAttributes(ORV_T("Q:\\f.txt"), attributes), 0u);
  EXPECT_EQ(attributes, kAttrArchive);

  ASSERT_EQ(SetAttributes(ORV_T("Q:\\f.txt"), kAttrHidden | kAttrArchive | kAttrDirectory), 0u);
  EXPECT_EQ(Xattr("f.txt", "user.vantrel.attributes"), Little(kAttrHidden | kAttrArchive, 4));
  ASSERT_EQ(GetAttributes(ORV_T("Q:\\f.txt"), attributes), 0u);
  EXPECT_EQ(attributes, kAttrHidden | kAttrArchive);
  // No attribute at all reads back as "normal", as on Windows.
  ASSERT_EQ(SetAttributes(ORV_T("Q:\\f.txt"), kAttrNormal), 0u);
  EXPECT_EQ(Xattr("f.txt", posix::kAttributesXattr), Little(0, 4));
  ASSERT_EQ(GetAttributes(ORV_T("Q:\\f.txt"), attributes), 0u);
  EXPECT_EQ(attributes, kAttrNormal);
  // Back to the default: nothing stored.
  ASSERT_EQ(SetAttributes(ORV_T("Q:\\f.txt"), kAttrArchive), 0u);
  EXPECT_EQ(Xattr("f.txt", posix::kAttributesXattr), "<absent>");

  const FileTime creation = 125911584000000123ULL;
  ASSERT_EQ(SetTimes(ORV_T("Q:\\f.txt"), FileTimes{creation, 0, 0}), 0u);
  EXPECT_EQ(Xattr("f.txt", "user.vantrel.creation_time"), Little(creation, 8));

  ASSERT_EQ(SetShortName(ORV_T("Q:\\f.txt"), ORV_T("F~1.TXT")), 0u);
  EXPECT_EQ(Xattr("f.txt", "user.vantrel.short_name"), std::string("F\0~\0"
                                                                   "1\0.\0T\0X\0T\0",
                                                                   14));
  WString shortName;
  ASSERT_EQ(GetShortName(ORV_T("Q:\\f.txt"), shortName), 0u);
  EXPECT_EQ(shortName, ORV_T("F~1.TXT"));
  EXPECT_EQ(SetShortName(ORV_T("Q:\\f.txt"), ORV_T("MUCHTOOLONG.NAME")), err::kInvalidParameter);

  ASSERT_EQ(mkdir(Native("d").c_str(), 0777), 0);
  ASSERT_EQ(GetAttributes(ORV_T("Q:\\d"), attributes), 0u);
  EXPECT_EQ(attributes, kAttrDirectory);
}

TEST_F(Metadata, SecurityDescriptorsAreKeptWhole) {
  WriteFile(ORV_T("Q:\\s"), "x");
  std::vector<uint8_t> descriptor;
  ASSERT_EQ(GetSecurity(ORV_T("Q:\\s"), kDaclSecurity, descriptor), 0u);
  EXPECT_TRUE(descriptor.empty());
  // Revision 1, self-relative, no owner, group or lists: the smallest valid one.
  std::vector<uint8_t> stored(20, 0);
  stored[0] = 1;
  stored[3] = 0x80;
  ASSERT_EQ(SetSecurity(ORV_T("Q:\\s"), kDaclSecurity, stored), 0u);
  EXPECT_EQ(Xattr("s", "user.vantrel.security"), std::string(stored.begin(), stored.end()));
  ASSERT_EQ(GetSecurity(ORV_T("Q:\\s"), kOwnerSecurity, descriptor), 0u);
  EXPECT_EQ(descriptor, stored);
  EXPECT_EQ(SetSecurity(ORV_T("Q:\\s"), kDaclSecurity, {1, 0}), err::kInvalidSecurityDescr);

  // A search asked for descriptors reads the stored one, and none for a link, even one
  // whose target holds one.
  ASSERT_EQ(symlink("s", Native("link").c_str()), 0);
  DirSearch search;
  FindData data;
  ASSERT_EQ(search.First(ORV_T("Q:\\s"), data, SearchDetail::kWithSecurity), 0u);
  EXPECT_EQ(data.security, stored);
  ASSERT_EQ(search.First(ORV_T("Q:\\link"), data, SearchDetail::kWithSecurity), 0u);
  EXPECT_EQ(data.securityError, 0u);
  EXPECT_TRUE(data.security.empty());
}

TEST_F(Metadata, LinksCannotHoldMetadataWhichIsDroppedWithANotice) {
  WriteFile(ORV_T("Q:\\target"), "x");
  ASSERT_EQ(symlink("target", Native("link").c_str()), 0);
  g_notices.clear();
  SetNoticeSink(CollectNotice);
  std::vector<uint8_t> descriptor(20, 0);
  descriptor[0] = 1;
  EXPECT_EQ(SetSecurity(ORV_T("Q:\\link"), kDaclSecurity, descriptor), 0u);
  EXPECT_EQ(SetTimes(ORV_T("Q:\\link"), FileTimes{130000000000000000ULL, 0, 0}), 0u);
  SetNoticeSink(nullptr);
  EXPECT_EQ(g_notices.size(), 2u);
  EXPECT_EQ(Xattr("target", posix::kSecurityXattr), "<absent>");  // never followed
}

// Reads open the spelled path at once; a final link, another case or a folder must
// still behave as the full lookup decides.
TEST_F(Metadata, ReadOpensFollowLinksAndAnswerTheShortNameFromTheHandle) {
  WriteFile(ORV_T("Q:\\Target.txt"), "content");
  ASSERT_EQ(SetShortName(ORV_T("Q:\\Target.txt"), ORV_T("TARGET~1.TXT")), 0u);
  ASSERT_EQ(symlink("Target.txt", Native("link").c_str()), 0);
  ASSERT_EQ(mkdir(Native("dir").c_str(), 0777), 0);
  for (const Char* path : {ORV_T("Q:\\Target.txt"), ORV_T("Q:\\TARGET.TXT"), ORV_T("Q:\\link")}) {
    File file;
    ASSERT_EQ(file.Open(path, kGenericRead, kShareRead, Disposition::kOpenExisting), 0u);
    char bytes[16];
    DWORD done = 0;
    ASSERT_EQ(file.Read(bytes, sizeof bytes, done), 0u);
    EXPECT_EQ(std::string(bytes, done), "content");
    // The handle holds what the link leads to, and answers for it.
    WString name;
    ASSERT_EQ(GetShortName(file, path, name), 0u);
    EXPECT_EQ(name, ORV_T("TARGET~1.TXT"));
  }
  File folder;
  EXPECT_EQ(folder.Open(ORV_T("Q:\\DIR"), kGenericRead, kShareRead, Disposition::kOpenExisting),
            err::kAccessDenied);
  // The link itself holds none.
  WString name = ORV_T("stale");
  ASSERT_EQ(GetShortName(ORV_T("Q:\\link"), name), 0u);
  EXPECT_EQ(name, ORV_T(""));
}

// Windows lets nobody write a file opened without write sharing, so such a handle keeps
// the size its open saw; a handle that shares writing sees the file grow.
TEST_F(Metadata, AHandleThatRefusesWritersKeepsTheSizeItOpenedWith) {
  WriteFile(ORV_T("Q:\\grows.log"), "12345");
  File fixed, shared;
  ASSERT_EQ(fixed.Open(ORV_T("Q:\\grows.log"), kGenericRead, kShareRead, Disposition::kOpenExisting), 0u);
  ASSERT_EQ(shared.Open(ORV_T("Q:\\grows.log"), kGenericRead, kShareRead | kShareWrite,
                        Disposition::kOpenExisting),
            0u);
  std::ofstream(Native("grows.log"), std::ios::app) << "678";  // another program, say
  uint64_t size = 0;
  ASSERT_EQ(fixed.Size(size), 0u);
  EXPECT_EQ(size, 5u);
  ASSERT_EQ(shared.Size(size), 0u);
  EXPECT_EQ(size, 8u);
}

TEST_F(Metadata, SearchesReportLinksWithoutFollowingThem) {
  ASSERT_EQ(mkdir(Native("dir").c_str(), 0777), 0);
  WriteFile(ORV_T("Q:\\file"), "12345");
  ASSERT_EQ(symlink("dir", Native("dirlink").c_str()), 0);
  ASSERT_EQ(symlink("file", Native("filelink").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", Native("dangling").c_str()), 0);

  DirSearch search;
  FindData data;
  ASSERT_EQ(search.First(ORV_T("Q:\\dirlink"), data), 0u);
  EXPECT_EQ(data.attributes, kAttrReparsePoint | kAttrDirectory);
  EXPECT_EQ(data.reparseTag, kReparseTagSymlink);
  ASSERT_EQ(search.First(ORV_T("Q:\\filelink"), data), 0u);
  EXPECT_EQ(data.attributes & (kAttrReparsePoint | kAttrDirectory), kAttrReparsePoint);
  EXPECT_EQ(data.size, 0u);
  ASSERT_EQ(search.First(ORV_T("Q:\\dangling"), data), 0u);
  EXPECT_EQ(data.reparseTag, kReparseTagSymlink);

  FileInfo info;
  ASSERT_EQ(GetInfo(ORV_T("Q:\\filelink"), info), 0u);
  EXPECT_TRUE(info.attributes & kAttrReparsePoint);
  // Removing a folder link removes the link, never the folder behind it.
  EXPECT_EQ(DeleteFile(ORV_T("Q:\\dirlink")), err::kAccessDenied);
  ASSERT_EQ(RemoveDirectory(ORV_T("Q:\\dirlink")), 0u);
  struct stat st;
  EXPECT_EQ(lstat(Native("dir").c_str(), &st), 0);

  // The link itself opens with kOpenReparsePoint, its target without.
  File file;
  ASSERT_EQ(file.Open(ORV_T("Q:\\filelink"), kFileReadAttributes, 0, Disposition::kOpenExisting,
                      kOpenReparsePoint),
            0u);
  ASSERT_EQ(file.GetInfo(info), 0u);
  EXPECT_TRUE(info.attributes & kAttrReparsePoint);
  ASSERT_EQ(file.Open(ORV_T("Q:\\filelink"), kGenericRead, 0, Disposition::kOpenExisting), 0u);
  ASSERT_EQ(file.GetInfo(info), 0u);
  EXPECT_EQ(info.attributes, kAttrArchive);
  EXPECT_EQ(info.size, 5u);
}

// A basic search reads no named attribute of a plain file, but describes folders and
// links whole: a walk that skips a folder's reparse data would descend into it.
TEST_F(Metadata, BasicSearchesDescribeFoldersAndLinksWhole) {
  ASSERT_EQ(mkdir(Native("dir").c_str(), 0777), 0);
  WriteFile(ORV_T("Q:\\file"), "12345");
  ASSERT_EQ(symlink("file", Native("filelink").c_str()), 0);
  ASSERT_EQ(SetAttributes(ORV_T("Q:\\dir"), kAttrHidden), 0u);
  ASSERT_EQ(SetAttributes(ORV_T("Q:\\file"), kAttrHidden | kAttrArchive), 0u);

  DirSearch search;
  FindData full, basic;
  ASSERT_EQ(search.First(ORV_T("Q:\\file"), full), 0u);
  ASSERT_EQ(search.First(ORV_T("Q:\\file"), basic, SearchDetail::kBasic), 0u);
  EXPECT_EQ(full.attributes, kAttrHidden | kAttrArchive);
  EXPECT_EQ(basic.attributes, kAttrArchive);
  EXPECT_EQ(basic.size, full.size);
  EXPECT_EQ(basic.times.lastWrite, full.times.lastWrite);
  ASSERT_EQ(search.First(ORV_T("Q:\\dir"), basic, SearchDetail::kBasic), 0u);
  EXPECT_EQ(basic.attributes, kAttrHidden | kAttrDirectory);
  ASSERT_EQ(search.First(ORV_T("Q:\\filelink"), basic, SearchDetail::kBasic), 0u);
  EXPECT_EQ(basic.reparseTag, kReparseTagSymlink);
}

// A writer asks whether the driver keeps the metadata before it writes: when the question
// fails (ntfs-3g answers EIO for an entry it has not settled; here the entry is gone and
// its mount was never asked), it fails with that error instead of taking the volume for
// one without NTFS metadata and writing the library's own attributes there.
TEST_F(Metadata, AWriterFailsWhenTheVolumeCannotTellWhetherItKeepsNtfsMetadata) {
  WriteFile(ORV_T("Q:\\kept.txt"), "x");
  posix::EntryStat entry;
  ASSERT_EQ(posix::StatPath(Native("kept.txt"), entry), 0u);
  bool ntfs = true;
  EXPECT_EQ(posix::NtfsMetadataForWrite(posix::EntryRef{Native("kept.txt")}, entry, ntfs), 0u);
  EXPECT_FALSE(ntfs);

  posix::EntryStat unasked = entry;
  unasked.st.stx_dev_major = 4095;
  unasked.st.stx_mnt_id = 0xDEAD;
  const posix::EntryRef gone{Native("gone.txt")};
  EXPECT_EQ(posix::NtfsMetadataForWrite(gone, unasked, ntfs), err::kFileNotFound);
  EXPECT_EQ(posix::WriteAttributes(gone, unasked, kAttrHidden), err::kFileNotFound);
  EXPECT_FALSE(posix::HasNtfsMetadata(gone, unasked));
}

TEST_F(Metadata, SearchOrderIsNtfsOrderAndRootsHaveNoDots) {
  ASSERT_EQ(mkdir(Native("sub").c_str(), 0777), 0);
  // Upper-cased ordinal order: '_' and '[' sort after 'Z', and accented letters last.
  const std::vector<WString> expected = {ORV_T("a"), ORV_T("A1"), ORV_T("b"), ORV_T("Z"),
                                         ORV_T("["), ORV_T("_x"), ORV_T("~"), ORV_T("\u00e9")};
  for (auto it = expected.rbegin(); it != expected.rend(); ++it)
    WriteFile(ORV_T("Q:\\sub\\") + *it, "");

  std::vector<WString> names;
  DirSearch search;
  FindData data;
  for (DWORD error = search.First(ORV_T("Q:\\sub\\*"), data); error == 0; error = search.Next(data))
    names.push_back(data.name);
  std::vector<WString> withDots = {ORV_T("."), ORV_T("..")};
  withDots.insert(withDots.end(), expected.begin(), expected.end());
  EXPECT_EQ(names, withDots);

  ASSERT_EQ(search.First(ORV_T("Q:\\*"), data), 0u);
  EXPECT_EQ(data.name, ORV_T("sub"));
  EXPECT_EQ(search.Next(data), err::kNoMoreFiles);
}

}  // namespace
}  // namespace orv::os
