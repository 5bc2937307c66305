// Folders below a restore target are opened from the target down, one name at a time,
// so a folder on the way that is (or becomes) a link never leads a write outside.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "archive/restore_target.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/folder.h"
#include "platform/target_folder.h"
#include "support/temp_folder.h"

namespace orv {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

std::string Native(WString path) {
  std::replace(path.begin(), path.end(), Char('\\'), Char('/'));
  return os::ToUtf8(path);
}

DWORD WriteThrough(archive::RestoreTarget& target, const WString& path, const std::string& text) {
  return target.WriteFile(path, [&](os::File& file, const WString&) {
    DWORD done = 0;
    return file.Write(text.data(), static_cast<DWORD>(text.size()), done);
  });
}

TEST(RestoreTarget, FoldersBelowTheTargetAreOpenedFromItAndNeverThroughALink) {
  TempFolder temp;
  const WString root = temp / ORV_T("root");
  ASSERT_EQ(os::CreateDirectoryTree(root + ORV_T("\\x\\Y")), 0u);
  ASSERT_EQ(os::CreateDirectoryTree(temp / ORV_T("outside\\b")), 0u);
  ASSERT_EQ(symlink("../outside", Native(root + ORV_T("\\a")).c_str()), 0);

  os::TargetFolder top, below;
  ASSERT_EQ(top.Open(root), 0u);
  EXPECT_EQ(below.OpenBelow(top, ORV_T("x\\y")), 0u) << "names are looked up ignoring case";
  EXPECT_EQ(below.Path(), root + ORV_T("\\x\\y"));
  EXPECT_EQ(below.OpenBelow(top, ORV_T("a\\b")), err::kInvalidName);
  EXPECT_EQ(below.OpenBelow(top, ORV_T("a")), err::kInvalidName);
  EXPECT_EQ(below.OpenBelow(top, ORV_T("..\\outside\\b")), err::kInvalidName);
  EXPECT_EQ(below.OpenBelow(top, ORV_T("x\\missing")), err::kPathNotFound);
}

// A folder written into once and then swapped for a link is not written through when
// the next file goes there.
TEST(RestoreTarget, AFolderSwappedForALinkBetweenTwoFilesIsNotWrittenThrough) {
  TempFolder temp;
  const WString root = temp / ORV_T("root");
  ASSERT_EQ(os::CreateDirectoryTree(root + ORV_T("\\a\\b")), 0u);
  ASSERT_EQ(os::CreateDirectoryTree(temp / ORV_T("outside\\b")), 0u);
  archive::RestoreTarget target;
  target.Trust(root);
  ASSERT_EQ(WriteThrough(target, root + ORV_T("\\a\\b\\first"), "first"), 0u);
  EXPECT_EQ(ReadFile(root + ORV_T("\\a\\b\\first")), "first");

  ASSERT_EQ(rename(Native(root + ORV_T("\\a")).c_str(), Native(temp / ORV_T("moved")).c_str()), 0);
  ASSERT_EQ(symlink("../outside", Native(root + ORV_T("\\a")).c_str()), 0);
  EXPECT_EQ(WriteThrough(target, root + ORV_T("\\a\\b\\second"), "second"), err::kInvalidName);
  EXPECT_EQ(access(Native(temp / ORV_T("outside\\b\\second")).c_str(), F_OK), -1);
}

// The caller may trust a folder below another one, and that folder may be a link.
TEST(RestoreTarget, ATrustedTargetBelowAnotherMayStillBeALink) {
  TempFolder temp;
  const WString root = temp / ORV_T("root");
  ASSERT_EQ(os::CreateDirectoryTree(root), 0u);
  ASSERT_EQ(os::CreateDirectoryTree(temp / ORV_T("real")), 0u);
  ASSERT_EQ(symlink("../real", Native(root + ORV_T("\\link")).c_str()), 0);
  archive::RestoreTarget target;
  target.Trust(root);
  target.Trust(root + ORV_T("\\link"));
  EXPECT_EQ(WriteThrough(target, root + ORV_T("\\link\\file"), "x"), 0u);
  EXPECT_EQ(ReadFile(temp / ORV_T("real\\file")), "x");
}

}  // namespace
}  // namespace orv
