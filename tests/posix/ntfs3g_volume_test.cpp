// Volume queries on an NTFS volume mounted through ntfs-3g answer as on Windows, and the
// label reader refuses images it cannot trust.
#include "ntfs3g_volume.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/errors.h"
#include "platform/posix/ntfs3g.h"
#include "platform/volume.h"
#include "services/security.h"

namespace orv::os {
namespace {

class Ntfs3gVolumeQueries : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::NativeOf(temp_.Path());
    if (const std::string why = volume_.Mount(folder_, "volume", "WINDATA"); !why.empty())
      GTEST_SKIP() << why;
  }

  test::TempFolder temp_;
  std::string folder_;
  test::Ntfs3gVolume volume_;
};

TEST_F(Ntfs3gVolumeQueries, AnswerAsWindowsDoes) {
  VolumeInfo info;
  ASSERT_EQ(GetVolumeInfo(volume_.Path(), info), 0u);
  EXPECT_EQ(info.fileSystem, ORV_T("NTFS"));
  EXPECT_EQ(info.label, ORV_T("WINDATA"));
  EXPECT_TRUE(COrvSecurity(volume_.Path().c_str()).IsOnDriveWithPermanentACLs());
  EXPECT_FALSE(COrvSecurity(temp_.Path().c_str()).IsOnDriveWithPermanentACLs());

  VolumeSpace before, after;
  ASSERT_EQ(GetFreeSpace(volume_.Path(), before), 0u);
  EXPECT_GT(before.total, 12u << 20);
  EXPECT_LE(before.total, 16u << 20);
  EXPECT_LT(before.free, before.total);
  test::WriteFile(volume_.Path() + ORV_T("/big"), std::string(1 << 20, 'x'));
  ASSERT_EQ(GetFreeSpace(volume_.Path(), after), 0u);
  EXPECT_LE(after.free + (1u << 20), before.free);
}

TEST_F(Ntfs3gVolumeQueries, LabelReaderChecksWhatItReads) {
  const std::string image = folder_ + "/volume.img";
  volume_.Unmount();
  WString label;
  ASSERT_EQ(posix::ReadNtfsLabel(image, label), 0u);
  EXPECT_EQ(label, ORV_T("WINDATA"));

  std::fstream file(image, std::ios::in | std::ios::out | std::ios::binary);
  // A torn $Volume record: the end of its first 512 bytes no longer carries the update
  // sequence number.
  char boot[0x41];
  file.read(boot, sizeof boot);
  const auto byte = [&](size_t at) {
    return static_cast<uint64_t>(static_cast<uint8_t>(boot[at]));
  };
  const uint64_t cluster = (byte(0x0B) | byte(0x0C) << 8) * byte(0x0D);
  uint64_t mft = 0;
  for (size_t i = 0; i < 8; ++i) mft |= byte(0x30 + i) << (8 * i);
  const auto recordCode = static_cast<int8_t>(boot[0x40]);
  const uint64_t recordSize = recordCode < 0 ? uint64_t{1} << -recordCode : recordCode * cluster;
  file.seekp(static_cast<std::streamoff>(mft * cluster + 3 * recordSize + 510));
  file.write("\x5A\xA5", 2);
  file.flush();
  EXPECT_EQ(posix::ReadNtfsLabel(image, label), err::kFileCorrupt);
  // A master file table placed beyond the end of the image.
  file.seekp(0x30);
  file.write("\xff\xff\xff\xff\xff\xff\x00\x00", 8);
  file.flush();
  EXPECT_EQ(posix::ReadNtfsLabel(image, label), err::kInvalidData);
  // No NTFS boot sector at all.
  file.seekp(3);
  file.write("EXT4    ", 8);
  file.flush();
  EXPECT_EQ(posix::ReadNtfsLabel(image, label), err::kInvalidData);
  EXPECT_EQ(posix::ReadNtfsLabel(folder_ + "/missing.img", label), err::kFileNotFound);
}

}  // namespace
}  // namespace orv::os
