// Windows metadata on NTFS volumes mounted through ntfs-3g: what the platform layer sets
// lands in the volume's own attributes in the driver's byte order, and items copied
// through the platform layer from one fresh volume to another come out byte for byte.
#include <unistd.h>

#include "ntfs3g_tree.h"
#include "platform/dir_search.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/volume.h"

namespace orv::os {
namespace {

using namespace ntfs_tree;
using test::WriteFile;

// One item of the test tree, as the platform layer sees it.
struct Item {
  WString name;
  bool folder = false;
  std::string content;
  std::vector<uint8_t> reparse;
  WString shortName;
  std::vector<uint8_t> security;
  DWORD attributes = 0;
  FileTimes times;
};

class Ntfs3gMetadata : public ntfs_tree::Ntfs3gPair {
 protected:
  // Reads an item through the platform layer.
  static Item Read(const WString& volume, const WString& name) {
    Item item;
    item.name = name;
    const WString path = volume + name;
    FileInfo info;
    EXPECT_EQ(GetInfo(path, info), 0u);
    item.attributes = info.attributes;
    item.times = info.times;
    item.folder = info.attributes & kAttrDirectory;
    if (info.attributes & kAttrReparsePoint) {
      EXPECT_EQ(GetReparseData(path, item.reparse), 0u);
    }
    if (!item.folder && item.reparse.empty()) item.content = test::ReadFile(path);
    EXPECT_EQ(GetShortName(path, item.shortName), 0u);
    EXPECT_EQ(GetSecurity(path, kOwnerSecurity | kGroupSecurity | kDaclSecurity | kSaclSecurity,
                          item.security),
              0u);
    return item;
  }

  // Makes the item on a volume through the platform layer, times last: every other
  // change moves them.
  static void Write(const WString& volume, const Item& item) {
    const WString path = volume + item.name;
    if (item.folder)
      ASSERT_EQ(CreateDirectory(path), 0u);
    else
      WriteFile(path, item.content);
    if (!item.reparse.empty()) {
      ASSERT_EQ(SetReparseData(path, item.reparse), 0u);
    }
    if (!item.shortName.empty()) {
      ASSERT_EQ(SetShortName(path, item.shortName), 0u);
    }
    ASSERT_EQ(SetSecurity(path, kOwnerSecurity | kGroupSecurity | kDaclSecurity | kSaclSecurity,
                          item.security),
              0u);
    ASSERT_EQ(SetAttributes(path, item.attributes), 0u);
    ASSERT_EQ(SetTimes(path, item.times), 0u);
  }
};

TEST_F(Ntfs3gMetadata, LandsInTheVolumesOwnAttributes) {
  PopulateTree();
  const std::string file = source_.Root() + "/Program Files/settings.config";
  EXPECT_EQ(Raw(file, "system.ntfs_attrib_be"), Big(kOldAttributes, 4));
  EXPECT_EQ(Raw(file, "system.ntfs_times_be").substr(0, 24),
            Big(kCreation, 8) + Big(kLastWrite, 8) + Big(kLastAccess, 8));
  EXPECT_EQ(Raw(file, "system.ntfs_dos_name"), "SETTIN~1.CON");
  const auto descriptor = ExplicitDescriptor();
  EXPECT_EQ(Raw(file, "system.ntfs_acl"), std::string(descriptor.begin(), descriptor.end()));
  // The driver does not list its own attributes: a search still finds the descriptor.
  DirSearch search;
  FindData found;
  ASSERT_EQ(search.First(ORV_T("S:\\Program Files\\settings.config"), found,
                         SearchDetail::kWithSecurity),
            0u);
  EXPECT_EQ(found.security, descriptor);
  // Nothing of ours is left beside the volume's own.
  EXPECT_EQ(Raw(file, "user.vantrel.attributes"), "<absent>");

  const auto junction = LinkData(kReparseTagMountPoint, ORV_T("\\??\\C:\\Program Files"),
                                 ORV_T("C:\\Program Files"), false);
  EXPECT_EQ(Raw(source_.Root() + "/Junction", "system.ntfs_reparse_data"),
            std::string(junction.begin(), junction.end()));

  // And the platform layer reads it back as Windows reports it.
  FileInfo info;
  ASSERT_EQ(GetInfo(ORV_T("S:\\Program Files\\settings.config"), info), 0u);
  EXPECT_EQ(info.attributes, kOldAttributes);
  EXPECT_EQ(info.times.creation, kCreation);
  EXPECT_EQ(info.times.lastWrite, kLastWrite);
  EXPECT_EQ(info.times.lastAccess, kLastAccess);
  EXPECT_EQ(info.size, 11u);
  DWORD attributes = 0;
  ASSERT_EQ(GetAttributes(ORV_T("S:\\Junction"), attributes), 0u);
  EXPECT_EQ(attributes, kAttrReparsePoint | kAttrDirectory | kAttrHidden | kAttrSystem);
  WString shortName;
  ASSERT_EQ(GetShortName(ORV_T("S:\\Program Files"), shortName), 0u);
  EXPECT_EQ(shortName, ORV_T("PROGRA~1"));
  // A junction whose target is elsewhere is still a folder to remove as one.
  EXPECT_EQ(DeleteFile(ORV_T("S:\\Junction")), err::kAccessDenied);
}

TEST_F(Ntfs3gMetadata, CopiesBetweenTwoVolumesByteForByte) {
  PopulateTree();
  // The source as it was before reading it (reading may move its last-access times).
  const std::vector<std::string> before = TreeSnapshot(source_);
  for (const WString& name : TreeItems()) {
    SCOPED_TRACE(ToUtf8(name));
    Write(ORV_T("T:\\"), Read(ORV_T("S:\\"), name));
  }
  EXPECT_EQ(TreeSnapshot(target_), before);
}

TEST_F(Ntfs3gMetadata, ZeroTimesAndEmptyShortNamesLeaveOrRemove) {
  WriteFile(ORV_T("S:\\LongFileName.txt"), "x");
  ASSERT_EQ(SetTimes(ORV_T("S:\\LongFileName.txt"), FileTimes{kCreation, kLastAccess, kLastWrite}),
            0u);
  ASSERT_EQ(SetTimes(ORV_T("S:\\LongFileName.txt"), FileTimes{0, 0, kCreation}), 0u);
  FileInfo info;
  ASSERT_EQ(GetInfo(ORV_T("S:\\LongFileName.txt"), info), 0u);
  EXPECT_EQ(info.times.creation, kCreation);
  EXPECT_EQ(info.times.lastAccess, kLastAccess);
  EXPECT_EQ(info.times.lastWrite, kCreation);

  ASSERT_EQ(SetShortName(ORV_T("S:\\LongFileName.txt"), ORV_T("LONGFI~1.TXT")), 0u);
  ASSERT_EQ(SetShortName(ORV_T("S:\\LongFileName.txt"), ORV_T("")), 0u);
  WString shortName = ORV_T("?");
  ASSERT_EQ(GetShortName(ORV_T("S:\\LongFileName.txt"), shortName), 0u);
  EXPECT_EQ(shortName, ORV_T(""));

  // An item that is no reparse point says so, and "normal" stands for no attribute.
  std::vector<uint8_t> data;
  EXPECT_EQ(GetReparseData(ORV_T("S:\\LongFileName.txt"), data), err::kNotAReparsePoint);
  EXPECT_EQ(SetAttributes(ORV_T("S:\\LongFileName.txt"), kAttrNormal), 0u);
  DWORD attributes = 0;
  ASSERT_EQ(GetAttributes(ORV_T("S:\\LongFileName.txt"), attributes), 0u);
  EXPECT_EQ(attributes, kAttrNormal);
}

TEST_F(Ntfs3gMetadata, LinksMadeBySymlinkKeepTheirLinuxForm) {
  ASSERT_EQ(symlink("elsewhere", (source_.Root() + "/plain").c_str()), 0);
  std::vector<uint8_t> data;
  ASSERT_EQ(GetReparseData(ORV_T("S:\\plain"), data), 0u);
  ASSERT_GE(data.size(), 4u);
  EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.begin() + 4),
            (std::vector<uint8_t>{0x0C, 0x00, 0x00, 0xA0}));
  DWORD attributes = 0;
  ASSERT_EQ(GetAttributes(ORV_T("S:\\plain"), attributes), 0u);
  EXPECT_TRUE(attributes & kAttrReparsePoint);
}

}  // namespace
}  // namespace orv::os
