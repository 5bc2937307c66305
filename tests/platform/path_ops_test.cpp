// Path operations: folders, moves, deletion, and the error codes Windows gives for
// names that exist, are missing, or have a missing parent.
#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/native_name.h"
#include "support/temp_folder.h"

namespace orv::os {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

TEST(PathOps, CreateDirectoryAndTree) {
  TempFolder temp;
  EXPECT_EQ(CreateDirectory(temp / ORV_T("a")), 0u);
  EXPECT_EQ(CreateDirectory(temp / ORV_T("a")), err::kAlreadyExists);
  EXPECT_EQ(CreateDirectory(temp / ORV_T("x\\y")), err::kPathNotFound);

  ASSERT_EQ(CreateDirectoryTree(temp / ORV_T("a\\b\\c\\d")), 0u);
  EXPECT_EQ(CreateDirectoryTree(temp / ORV_T("a\\b\\c\\d")), 0u);  // existing is fine
  DWORD attributes = 0;
  ASSERT_EQ(GetAttributes(temp / ORV_T("a\\b\\c\\d"), attributes), 0u);
  EXPECT_TRUE(attributes & kAttrDirectory);

  WriteFile(temp / ORV_T("file"), "x");
  EXPECT_NE(CreateDirectoryTree(temp / ORV_T("file\\sub")), 0u);
}

TEST(PathOps, RemoveDirectoryAndDeleteFileKeepToTheirKind) {
  TempFolder temp;
  ASSERT_EQ(CreateDirectory(temp / ORV_T("full")), 0u);
  WriteFile(temp / ORV_T("full\\f"), "x");
  EXPECT_EQ(RemoveDirectory(temp / ORV_T("full")), err::kDirNotEmpty);
  EXPECT_EQ(DeleteFile(temp / ORV_T("full")), err::kAccessDenied);
  EXPECT_EQ(RemoveDirectory(temp / ORV_T("full\\f")), err::kDirectory);
  EXPECT_EQ(DeleteFile(temp / ORV_T("full\\missing")), err::kFileNotFound);
  EXPECT_EQ(DeleteFile(temp / ORV_T("nowhere\\missing")), err::kPathNotFound);
  EXPECT_EQ(DeleteFile(temp / ORV_T("full\\f")), 0u);
  EXPECT_EQ(RemoveDirectory(temp / ORV_T("full")), 0u);
}

TEST(PathOps, MoveFileWithAndWithoutReplace) {
  TempFolder temp;
  const WString a = temp / ORV_T("a.txt");
  const WString b = temp / ORV_T("b.txt");
  WriteFile(a, "first");
  ASSERT_EQ(MoveFile(a, b, false), 0u);
  EXPECT_EQ(ReadFile(b), "first");
  DWORD attributes = 0;
  EXPECT_EQ(GetAttributes(a, attributes), err::kFileNotFound);

  WriteFile(a, "second");
  EXPECT_EQ(MoveFile(a, b, false), err::kAlreadyExists);
  EXPECT_EQ(ReadFile(b), "first");
  ASSERT_EQ(MoveFile(a, b, true), 0u);
  EXPECT_EQ(ReadFile(b), "second");

  EXPECT_EQ(MoveFile(a, b, true), err::kFileNotFound);
  EXPECT_EQ(MoveFile(b, temp / ORV_T("missing\\b.txt"), false), err::kPathNotFound);

  // Folders move too, with their content.
  ASSERT_EQ(CreateDirectoryTree(temp / ORV_T("d1\\inner")), 0u);
  ASSERT_EQ(MoveFile(temp / ORV_T("d1"), temp / ORV_T("d2"), false), 0u);
  EXPECT_EQ(GetAttributes(temp / ORV_T("d2\\inner"), attributes), 0u);
}

// A cut name keeps whole characters and stays within what the file system takes: bytes
// of UTF-8 on Linux, UTF-16 units on Windows.
TEST(PathOps, FittingNameLengthCountsTheSystemsUnits) {
  const Char accent = 0xE9;                         // two bytes in UTF-8
  const WString pair = {Char(0xD83D), Char(0xDE00)};  // one character, four bytes
  EXPECT_EQ(FittingNameLength(ORV_T("abc"), 10), 3u);
  EXPECT_EQ(FittingNameLength(ORV_T("abcdef"), 4), 4u);
  const WString accents(200, accent);
#ifdef _WIN32
  EXPECT_EQ(FittingNameLength(accents, 233), 200u);
  EXPECT_EQ(FittingNameLength(ORV_T("a") + pair, 2), 1u) << "the pair is never split";
#else
  EXPECT_EQ(FittingNameLength(accents, 233), 116u);
  EXPECT_EQ(FittingNameLength(ORV_T("a") + pair, 4), 1u) << "the pair is never split";
  EXPECT_EQ(FittingNameLength(ORV_T("a") + pair, 5), 3u);
#endif
}

}  // namespace
}  // namespace orv::os
