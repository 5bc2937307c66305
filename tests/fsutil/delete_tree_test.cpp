#include "fsutil/delete_tree.h"

#include <gtest/gtest.h>

#include "fsutil/release_handles.h"
#include "platform/dir_search.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/volume.h"
#include "support/temp_folder.h"

namespace orv {
namespace {

bool Exists(const WString& path) {
  DWORD attributes = 0;
  return os::GetAttributes(path, attributes) == 0;
}

void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

// Mount-point reparse data that points at `target` (a drive path).
std::vector<uint8_t> JunctionData(const WString& target) {
  const WString substitute = ORV_T("\\??\\") + target + ORV_T("\\");
  std::vector<uint8_t> data;
  Put16(data, static_cast<uint16_t>(os::kReparseTagMountPoint));
  Put16(data, static_cast<uint16_t>(os::kReparseTagMountPoint >> 16));
  Put16(data, static_cast<uint16_t>(8 + substitute.size() * 2 + 4));
  Put16(data, 0);
  Put16(data, 0);
  Put16(data, static_cast<uint16_t>(substitute.size() * 2));
  Put16(data, static_cast<uint16_t>(substitute.size() * 2 + 2));
  Put16(data, 0);
  for (const Char c : substitute) Put16(data, static_cast<uint16_t>(c));
  Put16(data, 0);
  Put16(data, 0);
  return data;
}

class DeleteTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Linux reaches the folder through a drive letter, as link targets name drives.
    WString folder = temp_.Path();
    for (Char& c : folder)
      if (c == '\\') c = '/';
    mapped_ = os::SetDriveFolder('Q', folder) == 0;
    root_ = mapped_ ? WString(ORV_T("Q:")) : temp_.Path();
  }
  void TearDown() override {
    if (mapped_) os::SetDriveFolder('Q', ORV_T(""));
  }
  WString At(WStringView relative) const { return root_ + ORV_T("\\") + WString(relative); }

  test::TempFolder temp_;
  bool mapped_ = false;
  WString root_;
};

TEST_F(DeleteTreeTest, RemovesNestedFoldersAndReadOnlyFiles) {
  ASSERT_EQ(os::CreateDirectoryTree(At(ORV_T("tree\\a\\b\\c"))), 0u);
  ASSERT_EQ(os::CreateDirectoryTree(At(ORV_T("tree\\empty\\deeper"))), 0u);
  test::WriteFile(At(ORV_T("tree\\a\\locked.txt")), "read-only");
  ASSERT_EQ(os::SetAttributes(At(ORV_T("tree\\a\\locked.txt")), os::kAttrReadOnly), 0u);
  test::WriteFile(At(ORV_T("tree\\a\\b\\c\\deep.bin")), "x");
  EXPECT_EQ(DeleteTree(At(ORV_T("tree"))), 0u);
  EXPECT_FALSE(Exists(At(ORV_T("tree"))));
  EXPECT_TRUE(Exists(root_));
}

TEST_F(DeleteTreeTest, AJunctionGoesWithoutItsTarget) {
  ASSERT_EQ(os::CreateDirectoryTree(At(ORV_T("target\\inner"))), 0u);
  test::WriteFile(At(ORV_T("target\\inner\\keep.txt")), "keep");
  ASSERT_EQ(os::CreateDirectoryTree(At(ORV_T("tree\\link"))), 0u);
  const DWORD error =
      os::SetReparseData(At(ORV_T("tree\\link")), JunctionData(At(ORV_T("target"))));
  if (error == err::kNotSupported || error == 1)
    GTEST_SKIP() << "no reparse points here (error " << error << ")";
  ASSERT_EQ(error, 0u);
  ASSERT_TRUE(Exists(At(ORV_T("tree\\link\\inner\\keep.txt"))));
  EXPECT_EQ(DeleteTree(At(ORV_T("tree"))), 0u);
  EXPECT_FALSE(Exists(At(ORV_T("tree"))));
  EXPECT_TRUE(Exists(At(ORV_T("target\\inner\\keep.txt"))));
}

TEST_F(DeleteTreeTest, TheResultSaysWhetherEverythingWent) {
  ASSERT_EQ(os::CreateDirectoryTree(At(ORV_T("tree\\held"))), 0u);
  test::WriteFile(At(ORV_T("tree\\held\\open.txt")), "x");
  test::WriteFile(At(ORV_T("tree\\other.txt")), "x");
  {
    // Held without share-delete, the file cannot go, nor the folders above it.
    os::File file;
    ASSERT_EQ(file.Open(At(ORV_T("tree\\held\\open.txt")), os::kGenericRead, os::kShareRead,
                        os::Disposition::kOpenExisting),
              0u);
    EXPECT_EQ(DeleteTree(At(ORV_T("tree"))), err::kSharingViolation);
    EXPECT_TRUE(Exists(At(ORV_T("tree\\held\\open.txt"))));
    EXPECT_FALSE(Exists(At(ORV_T("tree\\other.txt")))) << "the rest of the walk went on";
  }
  EXPECT_EQ(DeleteTree(At(ORV_T("tree"))), 0u);
  EXPECT_FALSE(Exists(At(ORV_T("tree"))));
  EXPECT_EQ(DeleteTree(At(ORV_T("tree"))), 0u) << "nothing there is nothing left";
  test::WriteFile(At(ORV_T("plain.txt")), "x");
  EXPECT_EQ(DeleteTree(At(ORV_T("plain.txt"))), err::kDirectory);
  EXPECT_TRUE(Exists(At(ORV_T("plain.txt"))));
}

TEST_F(DeleteTreeTest, AJunctionGivenAsTheFolderGoesAsALink) {
  ASSERT_EQ(os::CreateDirectoryTree(At(ORV_T("target\\inner"))), 0u);
  test::WriteFile(At(ORV_T("target\\inner\\keep.txt")), "keep");
  ASSERT_EQ(os::CreateDirectoryTree(At(ORV_T("link"))), 0u);
  const DWORD error = os::SetReparseData(At(ORV_T("link")), JunctionData(At(ORV_T("target"))));
  if (error == err::kNotSupported || error == 1)
    GTEST_SKIP() << "no reparse points here (error " << error << ")";
  ASSERT_EQ(error, 0u);
  EXPECT_FALSE(DeleteContents(At(ORV_T("link"))));
  EXPECT_TRUE(Exists(At(ORV_T("target\\inner\\keep.txt"))));
  EXPECT_EQ(DeleteTree(At(ORV_T("link"))), 0u);
  EXPECT_FALSE(Exists(At(ORV_T("link"))));
  EXPECT_TRUE(Exists(At(ORV_T("target\\inner\\keep.txt"))));
}

TEST_F(DeleteTreeTest, RefusesAPathItWouldHaveToCut) {
  ASSERT_EQ(os::CreateDirectoryTree(At(ORV_T("keep"))), 0u);
  const WString tooLong = At(ORV_T("keep\\")) + WString(300, 'x');
  EXPECT_EQ(DeleteTree(tooLong), 206u);
  EXPECT_TRUE(Exists(At(ORV_T("keep"))));
}

TEST_F(DeleteTreeTest, DeletesAnArchiveWithItsPartsOnly) {
  const std::vector<const Char*> gone{ORV_T("BASE.INP"), ORV_T("BASE_0000.INP"),
                                      ORV_T("BASE_0001.INP"), ORV_T("base_0002.inp"),
                                      ORV_T("BASE_12345.INP")};
  // Only the archive's own names go: not another archive whose name starts the same,
  // and not the files whose 8.3 names a search pattern would match.
  const std::vector<const Char*> kept{
      ORV_T("OTHER.INP"),      ORV_T("BASE.XML"),        ORV_T("ALL.CRC"),
      ORV_T("BASEMENT.INP"),   ORV_T("BASEDATA.INPUT"),  ORV_T("Base notes.inpx"),
      ORV_T("BASE_12.INP"),    ORV_T("BASE_0001.INP.bak"), ORV_T("BASE_00a1.INP")};
  ASSERT_EQ(os::CreateDirectoryTree(At(ORV_T("set"))), 0u);
  for (const auto* name : gone) test::WriteFile(At(ORV_T("set\\")) + name, "x");
  for (const auto* name : kept) test::WriteFile(At(ORV_T("set\\")) + name, "x");
  ASSERT_EQ(os::CreateDirectoryTree(At(ORV_T("set\\BASE_DIR.INP"))), 0u);
  EXPECT_EQ(DeleteArchiveFiles(At(ORV_T("set\\BASE.INP"))), 0u);
  for (const auto* name : gone) EXPECT_FALSE(Exists(At(ORV_T("set\\")) + name)) << "still there";
  for (const auto* name : kept) EXPECT_TRUE(Exists(At(ORV_T("set\\")) + name));
  EXPECT_TRUE(Exists(At(ORV_T("set\\BASE_DIR.INP")))) << "folders are not archive parts";

  EXPECT_EQ(DeleteArchiveFiles(At(ORV_T("set\\*.XML"))), 123u);
  EXPECT_TRUE(Exists(At(ORV_T("set\\BASE.XML"))));

  // A dot in a folder name is no extension.
  ASSERT_EQ(os::CreateDirectoryTree(At(ORV_T("v1.2"))), 0u);
  for (const auto* name : {ORV_T("DATA"), ORV_T("DATA_0001"), ORV_T("OTHER")})
    test::WriteFile(At(ORV_T("v1.2\\")) + name, "x");
  EXPECT_EQ(DeleteArchiveFiles(At(ORV_T("v1.2\\DATA"))), 0u);
  EXPECT_FALSE(Exists(At(ORV_T("v1.2\\DATA_0001"))));
  EXPECT_TRUE(Exists(At(ORV_T("v1.2\\OTHER"))));
}

TEST_F(DeleteTreeTest, OwnershipOfAFolderAndItsChildren) {
  COrvError error;
  EXPECT_FALSE(TakeOwnershipAndChildren(nullptr, error));
  EXPECT_EQ(error.GetError(), ORV_ERROR_ARG1);
  ASSERT_EQ(os::CreateDirectoryTree(At(ORV_T("owned\\child"))), 0u);
  EXPECT_TRUE(TakeOwnershipAndChildren(At(ORV_T("owned")).c_str(), error));
  EXPECT_EQ(error.GetError(), 0u);
  TakeOwnership(nullptr);
}

// Whether the privilege is enabled now (enabling it changes nothing), left enabled.
bool Enabled(const Char* name) {
  bool changed = true;
  return os::SetPrivilege(name, true, &changed) == 0 && !changed;
}

TEST(ImagePrivileges, APrivilegeTheCallerEnabledStaysEnabled) {
  const Char* kName = ORV_T("SeShutdownPrivilege");
  if (os::SetPrivilege(kName, true) != 0) GTEST_SKIP() << "the privilege is not held here";
  SetImagePrivileges(TRUE);
  SetImagePrivileges(FALSE);
  EXPECT_TRUE(Enabled(kName));
  {
    const os::PrivilegeHold hold(kName);
    EXPECT_TRUE(hold.Held());
  }
  EXPECT_TRUE(Enabled(kName));
}

TEST(ImagePrivileges, OnlyTheOutermostEnablingSwitchesOff) {
  const Char* kName = ORV_T("SeShutdownPrivilege");
  if (os::SetPrivilege(kName, true) != 0) GTEST_SKIP() << "the privilege is not held here";
  // One this code enabled goes off again, but only when the outermost enabling ends.
  bool changed = false;
  ASSERT_EQ(os::SetPrivilege(kName, false, &changed), 0u);
  if (!changed) GTEST_SKIP() << "privileges cannot be switched off here";
  SetImagePrivileges(TRUE);
  SetImagePrivileges(TRUE);
  SetImagePrivileges(FALSE);
  EXPECT_TRUE(Enabled(kName)) << "still inside the outer enabling";
  SetImagePrivileges(FALSE);
  EXPECT_FALSE(Enabled(kName)) << "the outer enabling ended: off again";
  os::SetPrivilege(kName, false);
}

TEST_F(DeleteTreeTest, ReleasingAFolderNobodyHoldsFindsNothing) {
  ASSERT_EQ(os::CreateDirectoryTree(At(ORV_T("free"))), 0u);
  EXPECT_EQ(ReleaseHandlesOnPath(At(ORV_T("free"))), 0u);
}

}  // namespace
}  // namespace orv
