// WIM images of NTFS volumes mounted through ntfs-3g keep every Windows item: a capture
// of a volume root through the binding, applied by wimapply in its NTFS mode, and a
// capture by wimcapture in its NTFS mode, applied through the binding onto a mounted
// volume or straight onto an image file, give the source's tree back item by item.
#include <sys/mount.h>
#include <sys/xattr.h>

#include <cstdlib>

#include "ntfs3g_tree.h"
#include "wim_test_support.h"
#include "platform/errors.h"

namespace orv::os {
namespace {

using ntfs_tree::TreeItems;

constexpr char kStreamXattr[] = "user.summary";  // a named data stream, with streams_interface=xattr
constexpr char kStreamData[] = "the named stream";

class WimNtfsTest : public ntfs_tree::Ntfs3gPair {
 protected:
  void SetUp() override {
    Ntfs3gPair::SetUp();
    if (IsSkipped()) return;
    COrvWim probe;
    probe.WIMGetImageCount(nullptr);
    if (probe.GetLastErrorCode() == ORV_ERROR_ARG1)
      GTEST_SKIP() << "libwim.so.15 (Debian libwim15) is not installed";
    if (std::system("command -v wimapply wimcapture >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "wimtools (wimapply, wimcapture) is not installed";
  }

  // The tree of ntfs3g_tree.h with a named data stream on its file.
  void PopulateSource() {
    ntfs_tree::PopulateTree();
    const std::string file = source_.Root() + "/Program Files/settings.config";
    ASSERT_EQ(setxattr(file.c_str(), kStreamXattr, kStreamData, sizeof kStreamData - 1, 0), 0);
  }

  static std::string Stream(const test::Ntfs3gVolume& volume) {
    return ntfs_tree::Raw(volume.Root() + "/Program Files/settings.config", kStreamXattr);
  }

  // Mounts the volume's image again at its folder, read-only or read-write.
  static void Remount(test::Ntfs3gVolume& volume, bool readOnly) {
    const std::string options = readOnly ? "ro,streams_interface=xattr" : "streams_interface=xattr";
    ASSERT_EQ(Run("ntfs-3g -o " + options + " " + Image(volume) + " '" + volume.Root() + "'"), 0);
  }
  static void Unmount(test::Ntfs3gVolume& volume) {
    ASSERT_EQ(umount2(volume.Root().c_str(), 0), 0);
  }
  static std::string Image(const test::Ntfs3gVolume& volume) {
    return "'" + volume.Root() + ".img'";
  }
  static int Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
  }

  // Captures `source` into a new WIM file; the error code, 0 when it worked.
  static DWORD Capture(const WString& file, const WString& source, MessageLog* log = nullptr) {
    COrvWim wim;
    if (wim.WIMCreateFile(file.c_str(), wim::kGenericWrite, wim::kCreateAlways, 0,
                          wim::kCompressXpress, nullptr) == nullptr)
      return wim.GetLastErrorCode();
    if (log != nullptr) wim.WIMRegisterMessageCallback(nullptr, MessageLog::Routine, log);
    HANDLE image = wim.WIMCaptureImage(nullptr, source.c_str(), 0);
    const DWORD error = wim.GetLastErrorCode();
    if (image != nullptr) wim.WIMCloseHandle(image);
    if (!wim.WIMCloseHandle(nullptr) && image != nullptr) return wim.GetLastErrorCode();
    return image != nullptr ? err::kSuccess : error;
  }

  // Applies image 1 of `file` to `target`; the error code, 0 when it worked.
  static DWORD Apply(const WString& file, const WString& target) {
    COrvWim wim;
    if (wim.WIMCreateFile(file.c_str(), wim::kGenericRead, wim::kOpenExisting, 0, 0, nullptr) ==
        nullptr)
      return wim.GetLastErrorCode();
    HANDLE image = wim.WIMLoadImage(nullptr, 1);
    if (image == nullptr) return wim.GetLastErrorCode();
    const BOOL applied = wim.WIMApplyImage(image, target.c_str(), 0);
    const DWORD error = wim.GetLastErrorCode();
    wim.WIMCloseHandle(image);
    wim.WIMCloseHandle(nullptr);
    return applied ? err::kSuccess : error;
  }

  std::string WimPath() const { return test::NativeOf(temp_.Path()) + "/volume.wim"; }
};

TEST_F(WimNtfsTest, CaptureOfAReadOnlyVolumeRootIsAppliedWholeByTheToolsNtfsMode) {
  PopulateSource();
  Unmount(source_);
  Remount(source_, true);
  const std::vector<std::string> before = TreeSnapshot(source_);
  const std::string rootBefore = ntfs_tree::Snapshot(source_.Root());
  // The entries of the volume are offered to the caller under the folder it named.
  MessageLog log;
  ASSERT_EQ(Capture(FromUtf8(WimPath()), ORV_T("S:\\"), &log), 0u);
  EXPECT_NE(std::find(log.processed.begin(), log.processed.end(),
                      ORV_T("S:\\Program Files\\settings.config")),
            log.processed.end());
  Unmount(target_);
  ASSERT_EQ(Run("wimapply '" + WimPath() + "' 1 " + Image(target_)), 0);
  Remount(target_, false);
  EXPECT_EQ(TreeSnapshot(target_), before);
  EXPECT_EQ(ntfs_tree::Snapshot(target_.Root()), rootBefore);
  EXPECT_EQ(Stream(target_), kStreamData);
}

TEST_F(WimNtfsTest, ToolsNtfsCaptureIsAppliedWholeOntoAMountedVolume) {
  PopulateSource();
  const std::vector<std::string> before = TreeSnapshot(source_);
  const std::string rootBefore = ntfs_tree::Snapshot(source_.Root());
  Unmount(source_);
  ASSERT_EQ(Run("wimcapture " + Image(source_) + " '" + WimPath() + "'"), 0);
  Remount(source_, false);
  ASSERT_EQ(Apply(FromUtf8(WimPath()), ORV_T("T:\\")), 0u);
  EXPECT_EQ(TreeSnapshot(target_), before);
  // Applied onto a volume's root, the image's root gives it its own items.
  EXPECT_EQ(ntfs_tree::Snapshot(target_.Root()), rootBefore);
}

TEST_F(WimNtfsTest, ApplyOntoAnUnmountedImageFileWritesTheVolume) {
  PopulateSource();
  Unmount(source_);
  Remount(source_, true);
  const std::vector<std::string> before = TreeSnapshot(source_);
  ASSERT_EQ(Capture(FromUtf8(WimPath()), ORV_T("S:\\")), 0u);
  const WString image = FromUtf8(target_.Root() + ".img");
  // Written under a driver that has it mounted, the volume would be corrupted.
  EXPECT_EQ(Apply(FromUtf8(WimPath()), image), err::kSharingViolation);
  Unmount(target_);
  ASSERT_EQ(Apply(FromUtf8(WimPath()), image), 0u);
  Remount(target_, false);
  EXPECT_EQ(TreeSnapshot(target_), before);
  EXPECT_EQ(Stream(target_), kStreamData);
}

TEST_F(WimNtfsTest, ReadWriteVolumesAreNeverReadAsVolumes) {
  PopulateSource();
  // The image file of a volume mounted read-write is refused...
  EXPECT_EQ(Capture(FromUtf8(WimPath()), FromUtf8(source_.Root() + ".img")),
            err::kSharingViolation);
  // ...and its root is read as a folder: content, but none of the Windows items.
  ASSERT_EQ(Capture(FromUtf8(WimPath()), ORV_T("S:\\")), 0u);
  ASSERT_EQ(Apply(FromUtf8(WimPath()), ORV_T("T:\\")), 0u);
  const std::string file = "/Program Files/settings.config";
  EXPECT_NE(ntfs_tree::Snapshot(target_.Root() + file).find("the content"), std::string::npos);
  EXPECT_NE(ntfs_tree::Raw(target_.Root() + file, "system.ntfs_dos_name"), "SETTIN~1.CON");
  // A file that holds no NTFS volume is no source at all.
  const WString plain = temp_ / ORV_T("plain.bin");
  test::WriteFile(plain, std::string(4096, 'x'));
  EXPECT_EQ(Capture(FromUtf8(WimPath()), plain), err::kDirectory);
}

// A WIM made elsewhere may name an entry "..\x": a plain name on Linux, but a way out of
// the target in the library's path form. Nothing outside the target gets its items.
TEST_F(WimNtfsTest, HostileEntryNamesReachNothingOutsideTheTarget) {
  const std::string folder = test::NativeOf(temp_.Path()) + "/hostile";
  ASSERT_EQ(Run("mkdir -p '" + folder + "' && echo x > '" + folder + "/..\\outside.txt'"), 0);
  // "T:\inner\..\outside.txt" would be this file.
  const std::string outside = target_.Root() + "/outside.txt";
  ASSERT_EQ(Run("echo kept > '" + outside + "'"), 0);
  const std::string before = ntfs_tree::Snapshot(outside);
  ASSERT_EQ(Run("wimcapture '" + folder + "' '" + WimPath() + "'"), 0);
  EXPECT_EQ(Apply(FromUtf8(WimPath()), FromUtf8(target_.Root() + "/inner")), err::kInvalidData);
  EXPECT_EQ(ntfs_tree::Snapshot(outside), before);
}

}  // namespace
}  // namespace orv::os

