// Raw streams of encrypted files on NTFS volumes mounted through ntfs-3g: exported with
// the volume's own encryption metadata and data, imported into another such volume as
// the same encrypted file, and refused where no driver can make one.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <string>

#include "ntfs3g_tree.h"
#include "platform/encrypted_file.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/volume.h"

namespace orv::os {
namespace {

std::string Little32(uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

class Ntfs3gEncrypted : public ntfs_tree::Ntfs3gPair {
 protected:
  // An encrypted file as the driver makes one from raw data: 1027 bytes of data padded
  // to 1536, the padding length, then the $EFS value.
  void MakeEncrypted(const std::string& path) {
    raw_.clear();
    for (int i = 0; i < 1027; ++i) raw_ += static_cast<char>(i * 7);
    raw_ += std::string(509, '\x55') + std::string("\xFD\x01", 2);
    efs_ = Little32(64) + std::string(60, '\x2A');
    test::WriteFile(FromUtf8(path), raw_);
    ASSERT_EQ(lsetxattr(path.c_str(), "system.ntfs_efsinfo", efs_.data(), efs_.size(), 0), 0);
  }

  std::string raw_, efs_;
};

TEST_F(Ntfs3gEncrypted, RawStreamCarriesTheVolumesOwnBytes) {
  MakeEncrypted(source_.Root() + "/secret.doc");
  DWORD attributes = 0;
  ASSERT_EQ(GetAttributes(ORV_T("S:\\secret.doc"), attributes), 0u);
  ASSERT_TRUE(attributes & kAttrEncrypted);

  const WString staging = temp_ / ORV_T("secret.raw");
  ASSERT_EQ(ExportEncryptedRaw(ORV_T("S:\\secret.doc"), staging), 0u);
  EXPECT_EQ(test::ReadFile(staging), "VTEFSNT3" + Little32(64) + efs_ + raw_);

  ASSERT_EQ(ImportEncryptedRaw(staging, ORV_T("T:\\secret.doc")), 0u);
  const std::string restored = target_.Root() + "/secret.doc";
  EXPECT_EQ(ntfs_tree::Raw(restored, "system.ntfs_efsinfo"), efs_);
  EXPECT_EQ(test::ReadFile(ORV_T("T:\\secret.doc")), raw_);
  ASSERT_EQ(GetAttributes(ORV_T("T:\\secret.doc"), attributes), 0u);
  EXPECT_TRUE(attributes & kAttrEncrypted);
}

TEST_F(Ntfs3gEncrypted, PlainFilesAndOtherTargetsKeepTheStandIn) {
  // A file the volume does not encrypt gets the stand-in stream.
  test::WriteFile(ORV_T("S:\\plain.txt"), "plain");
  const WString staging = temp_ / ORV_T("plain.raw");
  ASSERT_EQ(ExportEncryptedRaw(ORV_T("S:\\plain.txt"), staging), 0u);
  EXPECT_EQ(test::ReadFile(staging), "VTEFSRAWplain");

  // The volume's raw stream cannot become a file anywhere else: refused, nothing left.
  MakeEncrypted(source_.Root() + "/secret.doc");
  const WString raw = temp_ / ORV_T("secret.raw");
  ASSERT_EQ(ExportEncryptedRaw(ORV_T("S:\\secret.doc"), raw), 0u);
  const WString elsewhere = temp_ / ORV_T("secret.doc");
  EXPECT_EQ(ImportEncryptedRaw(raw, elsewhere), err::kNotSupported);
  DWORD attributes = 0;
  EXPECT_EQ(GetAttributes(elsewhere, attributes), err::kFileNotFound);

  // A stream whose $EFS length runs past its end is refused too, and what was there
  // stays.
  test::WriteFile(raw, "VTEFSNT3" + Little32(1000) + "short");
  test::WriteFile(ORV_T("T:\\kept.doc"), "kept");
  EXPECT_EQ(ImportEncryptedRaw(raw, ORV_T("T:\\kept.doc")), err::kInvalidData);
  EXPECT_EQ(test::ReadFile(ORV_T("T:\\kept.doc")), "kept");
}

}  // namespace
}  // namespace orv::os
