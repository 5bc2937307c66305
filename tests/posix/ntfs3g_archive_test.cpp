// A Windows tree captured from one NTFS volume mounted through ntfs-3g into a version 2
// or version 5 archive and restored into another comes back byte for byte: content,
// attributes, times, security descriptors, short names and reparse data.
#include "archive/morlet.h"
#include "ntfs3g_tree.h"
#include "platform/errors.h"

namespace orv::os {
namespace {

using ntfs_tree::TreeItems;

class Ntfs3gArchive : public ntfs_tree::Ntfs3gPair, public ::testing::WithParamInterface<int> {};

TEST_P(Ntfs3gArchive, CaptureAndRestoreKeepEveryItemByteForByte) {
  ntfs_tree::PopulateTree();
  const std::vector<std::string> before = TreeSnapshot(source_);
  const WString path = temp_ / ORV_T("windows.inp");
  {
    COrvMorlet archive;
    ASSERT_TRUE(archive.Open(path.c_str(), 0, GetParam())) << archive.GetLastErrorCode();
    for (const WString& name : TreeItems()) {
      SCOPED_TRACE(ToUtf8(name));
      const WString source = ORV_T("S:\\") + name;
      // The caller hands over the descriptor, as the capture of a volume does.
      std::vector<uint8_t> descriptor;
      ASSERT_EQ(GetSecurity(source, kOwnerSecurity | kGroupSecurity | kDaclSecurity | kSaclSecurity,
                            descriptor),
                0u);
      ASSERT_TRUE(archive.AddFile(source.c_str(), name.c_str(), descriptor.data(),
                                  static_cast<DWORD>(descriptor.size()), nullptr))
          << archive.GetLastErrorCode();
    }
    ASSERT_TRUE(archive.Close());
  }
  COrvMorlet archive;
  ASSERT_TRUE(archive.Open(path.c_str(), 1, 0));
  size_t count = 0;
  while (archive.NextEntry(0)) {
    ASSERT_TRUE(archive.ExtractCurrent(ORV_T("T:\\"), 1)) << archive.GetLastErrorCode();
    ++count;
    archive.NextEntry(1);
  }
  archive.Close();
  EXPECT_EQ(count, TreeItems().size());
  EXPECT_EQ(TreeSnapshot(target_), before);
}

INSTANTIATE_TEST_SUITE_P(Versions, Ntfs3gArchive, ::testing::Values(2, 5));

}  // namespace
}  // namespace orv::os
