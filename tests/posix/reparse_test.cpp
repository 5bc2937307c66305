// Links as reparse points: reading a link's data in drive form, turning empty items
// into links, keeping other reparse data, and refusing malformed buffers.
#include <sys/stat.h>
#include <unistd.h>

#include "mapped_drive.h"
#include "platform/dir_search.h"
#include "platform/errors.h"
#include "platform/file.h"

namespace orv::os {
namespace {

using test::WriteFile;

using Reparse = MappedDrive;

void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, static_cast<uint16_t>(value));
  Put16(out, static_cast<uint16_t>(value >> 16));
}

// A symbolic-link (or mount-point) buffer with the print name first, as Windows itself
// writes symbolic links.
std::vector<uint8_t> LinkData(DWORD tag, WStringView substitute, WStringView print, bool relative) {
  std::vector<uint8_t> names;
  for (Char c : print) Put16(names, c);
  for (Char c : substitute) Put16(names, c);
  std::vector<uint8_t> data;
  const bool symlink = tag == kReparseTagSymlink;
  Put32(data, tag);
  Put16(data, static_cast<uint16_t>((symlink ? 12 : 8) + names.size()));
  Put16(data, 0);
  Put16(data, static_cast<uint16_t>(print.size() * 2));  // substitute offset
  Put16(data, static_cast<uint16_t>(substitute.size() * 2));
  Put16(data, 0);  // print offset
  Put16(data, static_cast<uint16_t>(print.size() * 2));
  if (symlink) Put32(data, relative ? 1 : 0);
  data.insert(data.end(), names.begin(), names.end());
  return data;
}

struct ParsedLink {
  DWORD tag = 0;
  WString substitute, print;
  DWORD flags = 0;
};

// Reads what GetReparseData gave, checking every offset against the buffer.
ParsedLink Parse(const std::vector<uint8_t>& data) {
  auto at16 = [&](size_t i) { return static_cast<uint16_t>(data.at(i) | data.at(i + 1) << 8); };
  auto name = [&](size_t offset, size_t length) {
    WString text;
    for (size_t i = 0; i < length; i += 2) text += static_cast<Char>(at16(20 + offset + i));
    return text;
  };
  ParsedLink link;
  link.tag = at16(0) | static_cast<DWORD>(at16(2)) << 16;
  EXPECT_EQ(data.size(), 8u + at16(4));
  link.substitute = name(at16(8), at16(10));
  link.print = name(at16(12), at16(14));
  link.flags = at16(16);
  return link;
}

std::string LinkTarget(const std::string& native) {
  char buffer[4096];
  const ssize_t size = readlink(native.c_str(), buffer, sizeof buffer);
  return size < 0 ? "<not a link>" : std::string(buffer, static_cast<size_t>(size));
}

TEST_F(Reparse, LinksReadBackAsSymbolicLinkData) {
  ASSERT_EQ(mkdir(Native("target").c_str(), 0777), 0);
  ASSERT_EQ(symlink(Native("target").c_str(), Native("absolute").c_str()), 0);
  ASSERT_EQ(symlink("../up/x", Native("relative").c_str()), 0);
  ASSERT_EQ(symlink("/vantrel-outside/x", Native("outside").c_str()), 0);

  std::vector<uint8_t> data;
  ASSERT_EQ(GetReparseData(ORV_T("Q:\\absolute"), data), 0u);
  ParsedLink link = Parse(data);
  EXPECT_EQ(link.tag, kReparseTagSymlink);
  EXPECT_EQ(link.substitute, ORV_T("\\??\\Q:\\target"));
  EXPECT_EQ(link.print, ORV_T("Q:\\target"));
  EXPECT_EQ(link.flags, 0u);

  ASSERT_EQ(GetReparseData(ORV_T("Q:\\relative"), data), 0u);
  link = Parse(data);
  EXPECT_EQ(link.substitute, ORV_T("..\\up\\x"));
  EXPECT_EQ(link.flags, 1u);

  ASSERT_EQ(GetReparseData(ORV_T("Q:\\outside"), data), 0u);
  EXPECT_EQ(Parse(data).substitute, ORV_T("/vantrel-outside/x"));
  // "/drive/../x" leaves the drive: it must not read back as "Q:\..\x".
  const std::string climbing = Native("..") + "/x";
  ASSERT_EQ(symlink(climbing.c_str(), Native("climbing").c_str()), 0);
  ASSERT_EQ(GetReparseData(ORV_T("Q:\\climbing"), data), 0u);
  EXPECT_EQ(Parse(data).substitute, FromUtf8(climbing));

  WriteFile(ORV_T("Q:\\plain"), "x");
  EXPECT_EQ(GetReparseData(ORV_T("Q:\\plain"), data), err::kNotAReparsePoint);
  EXPECT_EQ(GetReparseData(ORV_T("Q:\\absent"), data), err::kFileNotFound);
}

TEST_F(Reparse, EmptyItemsBecomeLinks) {
  ASSERT_EQ(mkdir(Native("target").c_str(), 0777), 0);
  WriteFile(ORV_T("Q:\\filelink"), "");
  ASSERT_EQ(
      SetReparseData(ORV_T("Q:\\filelink"), LinkData(kReparseTagSymlink, ORV_T("\\??\\Q:\\TARGET"),
                                                     ORV_T("Q:\\TARGET"), false)),
      0u);
  // The existing folder is found whatever the case the link spells it in.
  EXPECT_EQ(LinkTarget(Native("filelink")), Native("target"));

  ASSERT_EQ(CreateDirectory(ORV_T("Q:\\dirlink")), 0u);
  ASSERT_EQ(
      SetReparseData(ORV_T("Q:\\dirlink"), LinkData(kReparseTagSymlink, ORV_T("..\\elsewhere\\x"),
                                                    ORV_T("..\\elsewhere\\x"), true)),
      0u);
  EXPECT_EQ(LinkTarget(Native("dirlink")), "../elsewhere/x");

  // Linux has no mount points: one comes back as a symbolic link to the folder.
  ASSERT_EQ(CreateDirectory(ORV_T("Q:\\junction")), 0u);
  ASSERT_EQ(SetReparseData(
                ORV_T("Q:\\junction"),
                LinkData(kReparseTagMountPoint, ORV_T("\\??\\Q:\\target\\"), ORV_T(""), false)),
            0u);
  EXPECT_EQ(LinkTarget(Native("junction")), Native("target"));
  std::vector<uint8_t> data;
  ASSERT_EQ(GetReparseData(ORV_T("Q:\\junction"), data), 0u);
  EXPECT_EQ(Parse(data).tag, kReparseTagSymlink);
  DWORD attributes = 0;
  ASSERT_EQ(GetAttributes(ORV_T("Q:\\junction"), attributes), 0u);
  EXPECT_EQ(attributes, kAttrReparsePoint | kAttrDirectory);

  // Content is never given up for a link.
  ASSERT_EQ(CreateDirectoryTree(ORV_T("Q:\\full\\child")), 0u);
  const auto toTarget =
      LinkData(kReparseTagSymlink, ORV_T("\\??\\Q:\\target"), ORV_T("Q:\\target"), false);
  EXPECT_EQ(SetReparseData(ORV_T("Q:\\full"), toTarget), err::kDirNotEmpty);
  WriteFile(ORV_T("Q:\\data"), "precious");
  EXPECT_EQ(SetReparseData(ORV_T("Q:\\data"), toTarget), err::kDirNotEmpty);
  EXPECT_EQ(test::ReadFile(ORV_T("Q:\\data")), "precious");
  EXPECT_EQ(SetReparseData(ORV_T("Q:\\absent"), toTarget), err::kFileNotFound);
}

TEST_F(Reparse, OtherDataIsKeptWhole) {
  WriteFile(ORV_T("Q:\\dedup"), "");
  // A Microsoft tag with an opaque payload.
  std::vector<uint8_t> data;
  Put32(data, 0x80000013);
  Put16(data, 6);
  Put16(data, 0);
  for (uint8_t b : {1, 2, 3, 4, 5, 6}) data.push_back(b);
  ASSERT_EQ(SetReparseData(ORV_T("Q:\\dedup"), data), 0u);
  std::vector<uint8_t> back;
  ASSERT_EQ(GetReparseData(ORV_T("Q:\\dedup"), back), 0u);
  EXPECT_EQ(back, data);
  EXPECT_EQ(Xattr("dedup", "user.vantrel.reparse"), std::string(data.begin(), data.end()));
  DirSearch search;
  FindData found;
  ASSERT_EQ(search.First(ORV_T("Q:\\dedup"), found), 0u);
  EXPECT_EQ(found.attributes, kAttrArchive | kAttrReparsePoint);
  EXPECT_EQ(found.reparseTag, 0x80000013u);

  // A link to a drive this system does not map cannot be a Linux link: kept as data.
  ASSERT_EQ(SetDriveFolder('R', ORV_T("")), 0u);
  WriteFile(ORV_T("Q:\\elsewhere"), "");
  const auto unmapped = LinkData(kReparseTagSymlink, ORV_T("\\??\\R:\\x"), ORV_T("R:\\x"), false);
  ASSERT_EQ(SetReparseData(ORV_T("Q:\\elsewhere"), unmapped), 0u);
  ASSERT_EQ(GetReparseData(ORV_T("Q:\\elsewhere"), back), 0u);
  EXPECT_EQ(back, unmapped);
  EXPECT_EQ(LinkTarget(Native("elsewhere")), "<not a link>");
}

TEST_F(Reparse, MalformedDataIsRefused) {
  WriteFile(ORV_T("Q:\\victim"), "");
  const auto good = LinkData(kReparseTagSymlink, ORV_T("\\??\\Q:\\t"), ORV_T("Q:\\t"), false);

  auto lengthTooLong = good;
  lengthTooLong[4] += 2;
  auto nameOutside = good;
  nameOutside[8] = 0xF0;  // substitute offset far past the buffer
  auto lengthOutside = good;
  lengthOutside[10] = 0x40;  // substitute name running past the end
  auto oddLength = good;
  oddLength[10] = 3;
  auto emptySubstitute = good;
  emptySubstitute[10] = emptySubstitute[11] = 0;
  auto truncated = std::vector<uint8_t>(good.begin(), good.begin() + 6);
  std::vector<uint8_t> oversized(8 + kMaxReparseDataSize, 0);
  oversized[0] = 0x13;
  oversized[3] = 0x80;
  auto embeddedNul = LinkData(kReparseTagSymlink, WString(ORV_T("a\0b"), 3), ORV_T("a"), true);
  auto zeroTag = good;
  zeroTag[0] = zeroTag[1] = zeroTag[2] = zeroTag[3] = 0;

  for (const auto& bad : {lengthTooLong, nameOutside, lengthOutside, oddLength, emptySubstitute,
                          truncated, oversized, embeddedNul, zeroTag})
    EXPECT_EQ(SetReparseData(ORV_T("Q:\\victim"), bad), err::kInvalidReparseData);
  EXPECT_EQ(LinkTarget(Native("victim")), "<not a link>");
  EXPECT_EQ(Xattr("victim", "user.vantrel.reparse"), "<absent>");
}

}  // namespace
}  // namespace orv::os
