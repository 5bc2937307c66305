// Windows-form paths on Linux: the volume table, "..", and the case-insensitive lookup
// the library relies on.
#include <sys/stat.h>
#include <unistd.h>

#include "mapped_drive.h"
#include "platform/dir_search.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/process.h"

namespace orv::os {
namespace {

using test::ReadFile;
using test::WriteFile;

bool Exists(const std::string& native) {
  struct stat st;
  return lstat(native.c_str(), &st) == 0;
}

using PathMapping = MappedDrive;

TEST_F(PathMapping, DriveLettersResolveThroughTheTable) {
  WriteFile(ORV_T("Q:\\x.txt"), "mapped");
  EXPECT_TRUE(Exists(Native("x.txt")));
  EXPECT_EQ(ReadFile(ORV_T("q:/x.txt")), "mapped");
  EXPECT_EQ(ReadFile(ORV_T("\\\\?\\Q:\\x.txt")), "mapped");
  EXPECT_EQ(ReadFile(FromUtf8(Native("x.txt"))), "mapped");
  EXPECT_EQ(GetDriveFolder('q'), FromUtf8(native_));

  // ".." never climbs out of the drive's folder.
  WriteFile(ORV_T("Q:\\..\\..\\escape.txt"), "inside");
  EXPECT_TRUE(Exists(Native("escape.txt")));

  ASSERT_EQ(SetDriveFolder('R', ORV_T("")), 0u);
  DWORD attributes = 0;
  EXPECT_EQ(GetAttributes(ORV_T("R:\\x.txt"), attributes), err::kPathNotFound);
  File file;
  EXPECT_EQ(file.Open(ORV_T("R:\\x.txt"), kGenericWrite, 0, Disposition::kCreateAlways),
            err::kPathNotFound);
  EXPECT_EQ(SetDriveFolder('1', ORV_T("/tmp")), err::kInvalidParameter);
  EXPECT_EQ(SetDriveFolder('R', ORV_T("relative/folder")), err::kInvalidParameter);
}

TEST_F(PathMapping, LookupsIgnoreCaseInEveryComponent) {
  ASSERT_EQ(mkdir(Native("Images").c_str(), 0777), 0);
  WriteFile(FromUtf8(Native("Images/ALL.CRC")), "catalogue");
  EXPECT_EQ(ReadFile(ORV_T("Q:\\Images\\All.crc")), "catalogue");
  EXPECT_EQ(ReadFile(ORV_T("Q:\\IMAGES\\all.CRC")), "catalogue");
  FileInfo info;
  EXPECT_EQ(GetInfo(ORV_T("Q:\\images\\absent.crc"), info), err::kFileNotFound);
  EXPECT_EQ(GetInfo(ORV_T("Q:\\nothing\\all.crc"), info), err::kPathNotFound);

  // Replacing under another case rewrites the existing file, never a twin of it.
  WriteFile(ORV_T("Q:\\IMAGES\\all.crc"), "new catalogue");
  EXPECT_EQ(ReadFile(FromUtf8(Native("Images/ALL.CRC"))), "new catalogue");
  EXPECT_FALSE(Exists(Native("Images/all.crc")));

  // A new name keeps its spelling; its folder is found whatever the case.
  WriteFile(ORV_T("q:\\IMAGES\\NewName.Txt"), "x");
  EXPECT_TRUE(Exists(Native("Images/NewName.Txt")));
  ASSERT_EQ(CreateDirectoryTree(ORV_T("Q:\\images\\Deep\\Deeper")), 0u);
  EXPECT_TRUE(Exists(Native("Images/Deep/Deeper")));

  // A change of case alone is a rename.
  ASSERT_EQ(MoveFile(ORV_T("Q:\\images\\all.crc"), ORV_T("Q:\\images\\All.Crc"), false), 0u);
  EXPECT_TRUE(Exists(Native("Images/All.Crc")));
  EXPECT_FALSE(Exists(Native("Images/ALL.CRC")));
  // Replacing a file known under another case leaves the caller's spelling only.
  WriteFile(ORV_T("Q:\\source.txt"), "replacement");
  ASSERT_EQ(MoveFile(ORV_T("Q:\\source.txt"), ORV_T("Q:\\Images\\ALL.crc"), true), 0u);
  EXPECT_TRUE(Exists(Native("Images/ALL.crc")));
  EXPECT_FALSE(Exists(Native("Images/All.Crc")));
  EXPECT_EQ(MoveFile(ORV_T("Q:\\images\\newname.txt"), ORV_T("Q:\\IMAGES\\all.CRC"), false),
            err::kAlreadyExists);
}

TEST_F(PathMapping, CurrentDirectoryReadsBackInDriveForm) {
  ASSERT_EQ(mkdir(Native("Work").c_str(), 0777), 0);
  WString saved;
  ASSERT_EQ(GetCurrentDirectory(saved), 0u);
  ASSERT_EQ(SetCurrentDirectory(ORV_T("Q:\\work")), 0u);
  WString current;
  ASSERT_EQ(GetCurrentDirectory(current), 0u);
  EXPECT_EQ(current, ORV_T("Q:\\Work"));
  // Relative names, ".." included, stay on the drive.
  WriteFile(ORV_T("..\\..\\up.txt"), "x");
  ASSERT_EQ(SetCurrentDirectory(saved), 0u);
  EXPECT_TRUE(Exists(Native("up.txt")));
  EXPECT_EQ(SetCurrentDirectory(ORV_T("Q:\\up.txt")), err::kDirectory);
}

TEST_F(PathMapping, VolumeQueries) {
  VolumeSpace space;
  ASSERT_EQ(GetFreeSpace(ORV_T("Q:\\"), space), 0u);
  EXPECT_GT(space.total, 0u);
  EXPECT_LE(space.freeToCaller, space.total);
  VolumeInfo info;
  ASSERT_EQ(GetVolumeInfo(ORV_T("Q:\\"), info), 0u);
  EXPECT_FALSE(info.fileSystem.empty());
  FileInfo file;
  WriteFile(ORV_T("Q:\\f"), "x");
  ASSERT_EQ(GetInfo(ORV_T("Q:\\f"), file), 0u);
  EXPECT_EQ(file.volumeSerial, info.serial);
  EXPECT_EQ(GetFreeSpace(ORV_T("Q:\\absent\\"), space), err::kPathNotFound);
}

}  // namespace
}  // namespace orv::os
