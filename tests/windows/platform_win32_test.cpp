// Behaviour of the Win32 backend that only Windows has: long paths, the system's drive
// letters, raw reparse data and security descriptors, 8.3 aliases, child programs, the
// registry and the piecewise text conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/dir_search.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/volume.h"
#include "support/temp_folder.h"

namespace orv::os {
namespace {

using test::TempFolder;

constexpr DWORD kShareAll = kShareRead | kShareWrite | kShareDelete;

TEST(Win32Paths, TreesDeeperThanMaxPathAreUsable) {
  TempFolder temp;
  WString deep = temp.Path();
  std::vector<WString> levels;
  while (deep.size() < 400) {
    deep += ORV_T("\\a folder name of forty characters here");
    levels.push_back(deep);
  }
  ASSERT_EQ(CreateDirectoryTree(deep), 0u);
  const WString file = deep + ORV_T("\\content.bin");
  test::WriteFile(file, "deep content");
  EXPECT_EQ(test::ReadFile(file), "deep content");

  FileInfo info;
  ASSERT_EQ(GetInfo(file, info), 0u);
  EXPECT_EQ(info.size, 12u);
  DWORD attributes = 0;
  ASSERT_EQ(GetAttributes(deep, attributes), 0u);
  EXPECT_NE(attributes & kAttrDirectory, 0u);

  {
    DirSearch search;
    FindData found;
    ASSERT_EQ(search.First(deep + ORV_T("\\*.bin"), found), 0u);
    EXPECT_EQ(found.name, ORV_T("content.bin"));
  }

  const WString moved = deep + ORV_T("\\renamed.bin");
  ASSERT_EQ(MoveFile(file, moved, false), 0u);
  EXPECT_EQ(DeleteFile(moved), 0u);
  for (auto it = levels.rbegin(); it != levels.rend(); ++it) EXPECT_EQ(RemoveDirectory(*it), 0u);
}

TEST(Win32Paths, DirectoryTreeAcceptsWhatExistsButNotAFileInTheWay) {
  TempFolder temp;
  EXPECT_EQ(CreateDirectoryTree(temp / ORV_T("one\\two\\")), 0u);
  EXPECT_EQ(CreateDirectoryTree(temp / ORV_T("one\\two")), 0u);
  EXPECT_EQ(CreateDirectoryTree(temp.Path()), 0u);
  EXPECT_EQ(CreateDirectory(temp / ORV_T("one")), err::kAlreadyExists);

  test::WriteFile(temp / ORV_T("plain"), "x");
  EXPECT_EQ(CreateDirectoryTree(temp / ORV_T("plain")), err::kAlreadyExists);
  EXPECT_NE(CreateDirectoryTree(temp / ORV_T("plain\\below")), 0u);
}

TEST(Win32Paths, InformationOfAFileHeldOpenWithoutSharing) {
  TempFolder temp;
  const WString path = temp / ORV_T("busy.dat");
  test::WriteFile(path, "busy");
  File holder;
  ASSERT_EQ(holder.Open(path, kGenericRead | kGenericWrite, 0, Disposition::kOpenExisting), 0u);

  File other;
  EXPECT_EQ(other.Open(path, kGenericRead, kShareAll, Disposition::kOpenExisting),
            err::kSharingViolation);
  FileInfo info;
  ASSERT_EQ(GetInfo(path, info), 0u);
  EXPECT_EQ(info.size, 4u);
  EXPECT_GE(info.links, 1u);
}

TEST(Win32Volumes, LettersAreTheSystemsOwn) {
  EXPECT_EQ(SetDriveFolder(ORV_T('X'), ORV_T("C:\\somewhere")), err::kNotSupported);
  EXPECT_TRUE(GetDriveFolder(ORV_T('C')).empty());
  EXPECT_TRUE(DriveLetterInUse(ORV_T('C')));
}

// Narrow strings for libraries that take them: a character the code page lacks fails
// rather than turning into a look-alike that names another file.
TEST(Win32Encoding, TheNarrowCodePageRefusesWhatItCannotSpell) {
  std::string narrow;
  ASSERT_EQ(ToSystemCodePage(ORV_T("C:\\images\\disk.img"), narrow), 0u);
  EXPECT_EQ(narrow, "C:\\images\\disk.img");
  const WString chinese = WString(1, Char(0x4E2D)) + ORV_T(".img");
  const DWORD error = ToSystemCodePage(chinese, narrow);
  if (error == 0) GTEST_SKIP() << "this system's code page holds every character (UTF-8)";
  EXPECT_EQ(error, 1113u);
}

TEST(Win32Volumes, AnyPathOnTheVolumeNamesIt) {
  TempFolder temp;
  const WString file = temp / ORV_T("on-volume.txt");
  test::WriteFile(file, "v");
  VolumeInfo byFile, byFolder;
  ASSERT_EQ(GetVolumeInfo(file, byFile), 0u);
  ASSERT_EQ(GetVolumeInfo(temp.Path(), byFolder), 0u);
  EXPECT_FALSE(byFile.fileSystem.empty());
  EXPECT_EQ(byFile.fileSystem, byFolder.fileSystem);
  EXPECT_EQ(byFile.serial, byFolder.serial);

  VolumeSpace space;
  ASSERT_EQ(GetFreeSpace(file, space), 0u);
  EXPECT_GT(space.total, 0u);
  EXPECT_LE(space.free, space.total);
  EXPECT_LE(space.freeToCaller, space.total);
}

// Reparse data: tag, data length, reserved, then the data.
std::vector<uint8_t> ReparseBuffer(uint32_t tag, uint16_t declaredLength, size_t dataBytes) {
  std::vector<uint8_t> buffer(8 + dataBytes);
  std::memcpy(buffer.data(), &tag, 4);
  std::memcpy(buffer.data() + 4, &declaredLength, 2);
  return buffer;
}

// A mount point to `target` (an absolute folder), as the system builds it.
std::vector<uint8_t> MountPoint(const WString& target) {
  const WString substitute = ORV_T("\\??\\") + target;
  const uint16_t substituteBytes = static_cast<uint16_t>(substitute.size() * 2);
  const uint16_t printBytes = static_cast<uint16_t>(target.size() * 2);
  const size_t data = 8 + substituteBytes + 2 + printBytes + 2;
  std::vector<uint8_t> buffer =
      ReparseBuffer(kReparseTagMountPoint, static_cast<uint16_t>(data), data);
  const uint16_t offsets[4] = {0, substituteBytes, static_cast<uint16_t>(substituteBytes + 2),
                               printBytes};
  std::memcpy(buffer.data() + 8, offsets, sizeof offsets);
  std::memcpy(buffer.data() + 16, substitute.data(), substituteBytes);
  std::memcpy(buffer.data() + 16 + substituteBytes + 2, target.data(), printBytes);
  return buffer;
}

TEST(Win32Reparse, MalformedDataIsRefusedBeforeAnyItemIsTouched) {
  const WString missing = ORV_T("C:\\no such folder\\no such item");
  EXPECT_EQ(SetReparseData(missing, {}), err::kInvalidReparseData);
  EXPECT_EQ(SetReparseData(missing, {0x03, 0x00, 0x00, 0xA0}), err::kInvalidReparseData);
  // Declares more data than it carries, and less.
  EXPECT_EQ(SetReparseData(missing, ReparseBuffer(kReparseTagSymlink, 40, 20)),
            err::kInvalidReparseData);
  EXPECT_EQ(SetReparseData(missing, ReparseBuffer(kReparseTagSymlink, 10, 20)),
            err::kInvalidReparseData);
  // Beyond the largest reparse buffer.
  EXPECT_EQ(SetReparseData(missing, ReparseBuffer(kReparseTagSymlink, 0xFFFF, 0xFFFF)),
            err::kInvalidReparseData);
  // A well-formed buffer reaches the item, which is missing.
  EXPECT_EQ(SetReparseData(missing, ReparseBuffer(kReparseTagSymlink, 20, 20)), err::kPathNotFound);
}

TEST(Win32Reparse, PlainItemsHaveNone) {
  TempFolder temp;
  test::WriteFile(temp / ORV_T("plain.txt"), "p");
  std::vector<uint8_t> data;
  EXPECT_EQ(GetReparseData(temp / ORV_T("plain.txt"), data), err::kNotAReparsePoint);
  EXPECT_EQ(GetReparseData(temp.Path(), data), err::kNotAReparsePoint);
}

TEST(Win32Reparse, MountPointRoundTrip) {
  TempFolder temp;
  ASSERT_EQ(CreateDirectory(temp / ORV_T("target")), 0u);
  test::WriteFile(temp / ORV_T("target\\inside.txt"), "inside");
  ASSERT_EQ(CreateDirectory(temp / ORV_T("link")), 0u);
  const std::vector<uint8_t> written = MountPoint(temp / ORV_T("target"));
  const DWORD error = SetReparseData(temp / ORV_T("link"), written);
  if (error == err::kNotSupported || error == err::kInvalidFunction)
    GTEST_SKIP() << "this file system keeps no reparse points (error " << error << ")";
  ASSERT_EQ(error, 0u);

  std::vector<uint8_t> read;
  ASSERT_EQ(GetReparseData(temp / ORV_T("link"), read), 0u);
  EXPECT_EQ(read, written);
  DWORD attributes = 0;
  ASSERT_EQ(GetAttributes(temp / ORV_T("link"), attributes), 0u);
  EXPECT_NE(attributes & kAttrReparsePoint, 0u);
  EXPECT_EQ(test::ReadFile(temp / ORV_T("link\\inside.txt")), "inside");

  DirSearch search;
  FindData found;
  ASSERT_EQ(search.First(temp / ORV_T("link"), found), 0u);
  EXPECT_EQ(found.reparseTag, kReparseTagMountPoint);
  // Removing the link leaves the target alone.
  EXPECT_EQ(RemoveDirectory(temp / ORV_T("link")), 0u);
  EXPECT_EQ(test::ReadFile(temp / ORV_T("target\\inside.txt")), "inside");
}

constexpr DWORD kOwnerGroupDacl = kOwnerSecurity | kGroupSecurity | kDaclSecurity;

TEST(Win32Security, DescriptorRoundTrip) {
  TempFolder temp;
  const WString path = temp / ORV_T("secured.txt");
  test::WriteFile(path, "s");
  std::vector<uint8_t> descriptor;
  ASSERT_EQ(GetSecurity(path, kOwnerGroupDacl, descriptor), 0u);
  ASSERT_GE(descriptor.size(), 20u);
  EXPECT_EQ(SetSecurity(path, kDaclSecurity, descriptor), 0u);
  std::vector<uint8_t> again;
  ASSERT_EQ(GetSecurity(path, kOwnerGroupDacl, again), 0u);
  EXPECT_EQ(again, descriptor);
  EXPECT_EQ(GetSecurity(temp / ORV_T("missing.txt"), kOwnerGroupDacl, again), err::kFileNotFound);
}

TEST(Win32Security, DescriptorsThatPointOutsideTheirBytesAreRefused) {
  TempFolder temp;
  const WString path = temp / ORV_T("secured.txt");
  test::WriteFile(path, "s");
  std::vector<uint8_t> good;
  ASSERT_EQ(GetSecurity(path, kOwnerGroupDacl, good), 0u);
  ASSERT_GE(good.size(), 20u);

  EXPECT_EQ(SetSecurity(path, kDaclSecurity, {}), err::kInvalidSecurityDescr);
  EXPECT_EQ(SetSecurity(path, kDaclSecurity, std::vector<uint8_t>(good.begin(), good.begin() + 12)),
            err::kInvalidSecurityDescr);

  // The owner's offset sits in bytes 4..7 of the header.
  std::vector<uint8_t> ownerOutside = good;
  const uint32_t nearTheEnd = static_cast<uint32_t>(good.size() - 4);
  std::memcpy(ownerOutside.data() + 4, &nearTheEnd, sizeof nearTheEnd);
  EXPECT_EQ(SetSecurity(path, kOwnerSecurity, ownerOutside), err::kInvalidSecurityDescr);

  std::vector<uint8_t> truncated(good.begin(), good.end() - 4);
  EXPECT_EQ(SetSecurity(path, kOwnerGroupDacl, truncated), err::kInvalidSecurityDescr);

  // Without the self-relative flag the offsets would be read as pointers.
  std::vector<uint8_t> absolute = good;
  absolute[3] &= 0x7F;
  EXPECT_EQ(SetSecurity(path, kDaclSecurity, absolute), err::kInvalidSecurityDescr);
}

TEST(Win32ShortNames, AliasesAgreeWithTheDirectory) {
  TempFolder temp;
  test::WriteFile(temp / ORV_T("A rather long file name.text"), "l");
  test::WriteFile(temp / ORV_T("SHORT.TXT"), "s");

  WString alias;
  ASSERT_EQ(GetShortName(temp / ORV_T("A rather long file name.text"), alias), 0u);
  DirSearch search;
  FindData found;
  ASSERT_EQ(search.First(temp / ORV_T("A rather long file name.text"), found), 0u);
  EXPECT_EQ(alias, found.shortName);
  if (alias.empty()) GTEST_SKIP() << "this volume makes no 8.3 aliases";

  WString again;
  ASSERT_EQ(GetShortName(temp / alias, again), 0u);
  EXPECT_EQ(again, alias) << "naming a file by its alias still gives the alias";
  ASSERT_EQ(GetShortName(temp / ORV_T("short.txt"), again), 0u);
  EXPECT_TRUE(again.empty()) << "an 8.3 name in another case has no alias";
  EXPECT_EQ(GetShortName(temp / ORV_T("missing.txt"), again), err::kFileNotFound);
}

TEST(Win32ShortNames, SettingAnAliasFailsCleanlyOrTakesEffect) {
  TempFolder temp;
  const WString path = temp / ORV_T("Another long file name.text");
  test::WriteFile(path, "l");
  EXPECT_EQ(SetShortName(temp / ORV_T("missing.txt"), ORV_T("MISSING.TXT")), err::kFileNotFound);
  const DWORD error = SetShortName(path, ORV_T("ANOTHE~7.TXT"));
  if (error != 0) GTEST_SKIP() << "short names cannot be set here (error " << error << ")";
  WString alias;
  ASSERT_EQ(GetShortName(path, alias), 0u);
  EXPECT_EQ(alias, ORV_T("ANOTHE~7.TXT"));
}

TEST(Win32Programs, ExitCodeOfAChild) {
  DWORD exitCode = 0;
  ASSERT_EQ(RunProgram(ORV_T("cmd.exe /c exit 7"), true, exitCode), 0u);
  EXPECT_EQ(exitCode, 7u);
  ASSERT_EQ(RunProgram(ORV_T("cmd.exe /c \"exit 0\""), false, exitCode), 0u);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(RunProgram(ORV_T("no-such-program-here.exe"), true, exitCode), err::kFileNotFound);
}

TEST(Win32Registry, DwordRoundTrip) {
  const WString key = ORV_T("SOFTWARE\\VantrelTest-") + std::to_wstring(CurrentProcessId());
  DWORD value = 0;
  EXPECT_EQ(ReadRegistryDword(key, ORV_T("Counter"), value), err::kFileNotFound);
  EXPECT_FALSE(RegistryKeyExists(key));
  const DWORD written = WriteRegistryDword(key, ORV_T("Counter"), 0xCAFE0001);
  if (written == err::kAccessDenied) GTEST_SKIP() << "the machine's keys are read-only here";
  ASSERT_EQ(written, 0u);
  EXPECT_TRUE(RegistryKeyExists(key));
  EXPECT_EQ(ReadRegistryDword(key, ORV_T("Counter"), value), 0u);
  EXPECT_EQ(value, 0xCAFE0001u);
  EXPECT_EQ(ReadRegistryDword(key, ORV_T("Other"), value), err::kFileNotFound);
  EXPECT_EQ(DeleteRegistryValue(key, ORV_T("Counter")), 0u);
  EXPECT_EQ(ReadRegistryDword(key, ORV_T("Counter"), value), err::kFileNotFound);
  EXPECT_EQ(DeleteRegistryValue(key, ORV_T("Counter")), err::kFileNotFound);
  DWORD exitCode = 1;
  EXPECT_EQ(RunProgram(ORV_T("reg.exe delete \"HKLM\\") + key + ORV_T("\" /f"), true, exitCode),
            0u);
  EXPECT_EQ(exitCode, 0u);
}

TEST(Win32Modules, LoadFindUnload) {
  Module kernel;
  ASSERT_EQ(kernel.Load(ORV_T("kernel32.dll")), 0u);
  EXPECT_NE(kernel.Find("GetTickCount"), nullptr);
  EXPECT_EQ(kernel.Find("NoSuchFunctionAnywhere"), nullptr);
  kernel.Unload();
  EXPECT_FALSE(kernel.IsLoaded());
  EXPECT_EQ(kernel.Find("GetTickCount"), nullptr);

  Module missing;
  EXPECT_EQ(missing.Load(ORV_T("no-such-module-here.dll")), err::kModNotFound);
  EXPECT_FALSE(missing.IsLoaded());
}

// The conversions run in pieces of 1 MiB; a character must survive wherever it falls
// against a cut.
TEST(Win32Encoding, LongTextKeepsCharactersAcrossPieces) {
  constexpr size_t kPiece = 1 << 20;
  const std::string emoji = "\xF0\x9F\x98\x80";  // four bytes, two UTF-16 units
  for (size_t at = kPiece - 4; at <= kPiece + 1; ++at) {
    std::string text(at, 'a');
    text += emoji;
    text += "z";
    const WString wide = FromUtf8(text);
    ASSERT_EQ(wide.size(), at + 3) << "emoji at byte " << at;
    EXPECT_EQ(wide[at], 0xD83D);
    EXPECT_EQ(wide[at + 1], 0xDE00);
    EXPECT_EQ(ToUtf8(wide), text) << "emoji at unit " << at;
  }
}

TEST(Win32Encoding, InvalidSequencesBecomeReplacementCharacters) {
  EXPECT_EQ(FromUtf8("a\xFF"
                     "b"),
            ORV_T("a\xFFFD"
                  "b"));
  EXPECT_EQ(ToUtf8(WString{ORV_T('a'), 0xD800, ORV_T('b')}),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_TRUE(FromUtf8("").empty());
  EXPECT_TRUE(ToUtf8(ORV_T("")).empty());
}

TEST(Win32Environment, EmptyAndMissingVariablesDiffer) {
  ASSERT_EQ(SetEnvironment(ORV_T("VANTREL_TEST_EMPTY"), ORV_T("")), 0u);
  const auto empty = GetEnvironment(ORV_T("VANTREL_TEST_EMPTY"));
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
  EXPECT_FALSE(GetEnvironment(ORV_T("VANTREL_TEST_NEVER_SET")).has_value());

  const WString longValue(5000, ORV_T('v'));
  ASSERT_EQ(SetEnvironment(ORV_T("VANTREL_TEST_LONG"), longValue), 0u);
  EXPECT_EQ(GetEnvironment(ORV_T("VANTREL_TEST_LONG")), longValue);

  const WString temp = GetTempFolder();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), ORV_T('\\'));
}

}  // namespace
}  // namespace orv::os
