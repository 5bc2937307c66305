// The test tree for NTFS volumes mounted through ntfs-3g: two fresh volumes on drives
// S: (source) and T: (target), a tree on S: with every kind of Windows metadata, and a
// raw view of what the driver keeps of an item.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ntfs3g_volume.h"
#include "platform/file.h"
#include "platform/volume.h"

namespace orv::os::ntfs_tree {

inline void Put(std::vector<uint8_t>& out, uint64_t value, size_t size) {
  for (size_t i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline std::string Big(uint64_t value, size_t size) {
  std::string bytes;
  for (size_t i = size; i-- > 0;) bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

// A SID S-1-<authority>-<subs...>.
inline std::vector<uint8_t> Sid(uint8_t authority, std::vector<uint32_t> subs) {
  std::vector<uint8_t> sid = {1, static_cast<uint8_t>(subs.size()), 0, 0, 0, 0, 0, authority};
  for (uint32_t sub : subs) Put(sid, sub, 4);
  return sid;
}

inline std::vector<uint8_t> Acl(const std::vector<std::vector<uint8_t>>& aces) {
  size_t size = 8;
  for (const auto& ace : aces) size += ace.size();
  std::vector<uint8_t> acl = {2, 0};
  Put(acl, size, 2);
  Put(acl, aces.size(), 2);
  Put(acl, 0, 2);
  for (const auto& ace : aces) acl.insert(acl.end(), ace.begin(), ace.end());
  return acl;
}

inline std::vector<uint8_t> Ace(uint8_t type, uint8_t flags, uint32_t mask,
                                const std::vector<uint8_t>& sid) {
  std::vector<uint8_t> ace = {type, flags};
  Put(ace, 8 + sid.size(), 2);
  Put(ace, mask, 4);
  ace.insert(ace.end(), sid.begin(), sid.end());
  return ace;
}

// Owner Administrators, group SYSTEM, a DACL that denies Everyone writing before it
// allows Administrators everything, and a SACL auditing Everyone's failed access.
inline std::vector<uint8_t> ExplicitDescriptor() {
  const auto administrators = Sid(5, {32, 544});
  const auto system = Sid(5, {18});
  const auto everyone = Sid(1, {0});
  const auto sacl = Acl({Ace(2, 0x80, 0x1F01FF, everyone)});
  const auto dacl = Acl({Ace(1, 0, 0x2, everyone), Ace(0, 0, 0x1F01FF, administrators)});
  std::vector<uint8_t> descriptor = {1, 0};
  Put(descriptor, 0x8014, 2);  // self-relative, DACL and SACL present
  const size_t sacl_at = 20, dacl_at = sacl_at + sacl.size(), owner_at = dacl_at + dacl.size(),
               group_at = owner_at + administrators.size();
  Put(descriptor, owner_at, 4);
  Put(descriptor, group_at, 4);
  Put(descriptor, sacl_at, 4);
  Put(descriptor, dacl_at, 4);
  for (const auto* part : {&sacl, &dacl, &administrators, &system})
    descriptor.insert(descriptor.end(), part->begin(), part->end());
  return descriptor;
}

// Reparse data of a mount point or symbolic link, substitute name first.
inline std::vector<uint8_t> LinkData(DWORD tag, WStringView substitute, WStringView print,
                                     bool relative) {
  std::vector<uint8_t> names;
  for (Char c : substitute) Put(names, c, 2);
  const bool mountPoint = tag == kReparseTagMountPoint;
  if (mountPoint) Put(names, 0, 2);
  const size_t printAt = names.size();
  for (Char c : print) Put(names, c, 2);
  if (mountPoint) Put(names, 0, 2);
  std::vector<uint8_t> data;
  Put(data, tag, 4);
  Put(data, (mountPoint ? 8 : 12) + names.size(), 2);
  Put(data, 0, 2);
  Put(data, 0, 2);
  Put(data, substitute.size() * 2, 2);
  Put(data, printAt, 2);
  Put(data, print.size() * 2, 2);
  if (!mountPoint) Put(data, relative ? 1 : 0, 4);
  data.insert(data.end(), names.begin(), names.end());
  return data;
}

// 2003-04-05, 2004-05-06 and 2005-06-07, at noon UTC, with sub-second parts.
constexpr FileTime kCreation = 126937584000001234ULL;
constexpr FileTime kLastWrite = 127281168000005678ULL;
constexpr FileTime kLastAccess = 127624752000009012ULL;

constexpr DWORD kOldAttributes = kAttrHidden | kAttrSystem | kAttrReadOnly | kAttrArchive;

// The raw value of one of the driver's attributes, or "<absent>".
inline std::string Raw(const std::string& path, const char* name) {
  std::vector<char> value(65536);
  const ssize_t size = lgetxattr(path.c_str(), name, value.data(), value.size());
  return size < 0 ? "<absent>" : std::string(value.data(), static_cast<size_t>(size));
}

// Everything the driver keeps of an item, the change time aside (it records our own
// writes), with the content of files.
inline std::string Snapshot(const std::string& path) {
  std::string all;
  for (const char* name : {"system.ntfs_attrib_be", "system.ntfs_acl", "system.ntfs_dos_name",
                           "system.ntfs_reparse_data"})
    all += std::string(name) + "=" + Raw(path, name) + "\n";
  all += "times=" + Raw(path, "system.ntfs_times_be").substr(0, 24) + "\n";
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    char buffer[4096];
    for (ssize_t got; fd >= 0 && (got = read(fd, buffer, sizeof buffer)) > 0;)
      all.append(buffer, static_cast<size_t>(got));
    if (fd >= 0) close(fd);
  }
  return all;
}

// The tree on the source volume: a folder with a short name, a file with old
// attributes and times, a short name and an explicit descriptor, a junction and a
// folder symbolic link.
inline void PopulateTree() {
  ASSERT_EQ(CreateDirectory(ORV_T("S:\\Program Files")), 0u);
  ASSERT_EQ(SetShortName(ORV_T("S:\\Program Files"), ORV_T("PROGRA~1")), 0u);
  const WString file = ORV_T("S:\\Program Files\\settings.config");
  test::WriteFile(file, "the content");
  ASSERT_EQ(SetSecurity(file, kOwnerSecurity | kGroupSecurity | kDaclSecurity | kSaclSecurity,
                        ExplicitDescriptor()),
            0u);
  ASSERT_EQ(SetShortName(file, ORV_T("SETTIN~1.CON")), 0u);
  ASSERT_EQ(SetAttributes(file, kOldAttributes), 0u);
  ASSERT_EQ(SetTimes(file, FileTimes{kCreation, kLastAccess, kLastWrite}), 0u);

  ASSERT_EQ(CreateDirectory(ORV_T("S:\\Junction")), 0u);
  ASSERT_EQ(SetReparseData(ORV_T("S:\\Junction"),
                           LinkData(kReparseTagMountPoint, ORV_T("\\??\\C:\\Program Files"),
                                    ORV_T("C:\\Program Files"), false)),
            0u);
  ASSERT_EQ(SetAttributes(ORV_T("S:\\Junction"), kAttrHidden | kAttrSystem), 0u);
  ASSERT_EQ(CreateDirectory(ORV_T("S:\\FolderLink")), 0u);
  ASSERT_EQ(
      SetReparseData(ORV_T("S:\\FolderLink"), LinkData(kReparseTagSymlink, ORV_T("Program Files"),
                                                       ORV_T("Program Files"), true)),
      0u);
  ASSERT_EQ(SetTimes(ORV_T("S:\\FolderLink"), FileTimes{kCreation, 0, 0}), 0u);
}

// The items of the tree, parents first.
inline const std::vector<WString>& TreeItems() {
  static const std::vector<WString> items = {ORV_T("Program Files"),
                                             ORV_T("Program Files\\settings.config"),
                                             ORV_T("Junction"), ORV_T("FolderLink")};
  return items;
}

// The native form of an item's name below a volume's root.
inline std::string NativeName(const WString& name) {
  std::string native = ToUtf8(name);
  for (char& c : native)
    if (c == '\\') c = '/';
  return native;
}

// Two fresh volumes, mounted on S: and T:; the test skips, saying why, where they
// cannot be made.
class Ntfs3gPair : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string folder = test::NativeOf(temp_.Path());
    if (const std::string why = source_.Mount(folder, "source"); !why.empty()) GTEST_SKIP() << why;
    if (const std::string why = target_.Mount(folder, "target"); !why.empty()) GTEST_SKIP() << why;
    ASSERT_EQ(SetDriveFolder('S', source_.Path()), 0u);
    ASSERT_EQ(SetDriveFolder('T', target_.Path()), 0u);
  }
  void TearDown() override {
    SetDriveFolder('S', ORV_T(""));
    SetDriveFolder('T', ORV_T(""));
  }

  // Snapshots of every item of the tree on one volume.
  static std::vector<std::string> TreeSnapshot(const test::Ntfs3gVolume& volume) {
    std::vector<std::string> all;
    for (const WString& name : TreeItems())
      all.push_back(Snapshot(volume.Root() + "/" + NativeName(name)));
    return all;
  }

  test::TempFolder temp_;
  test::Ntfs3gVolume source_, target_;
};

}  // namespace orv::os::ntfs_tree
