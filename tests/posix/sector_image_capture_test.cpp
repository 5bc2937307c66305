// Image type 3 on Linux: a real NTFS volume (ntfs-3g on an image file) captured by
// `vantrel image create --type 3` into a sector image of its used clusters, whole and
// split, then mounted read-only through the virtual-disk library and compared with the
// volume; a cancelled or stopped copy leaves nothing; a lying header is refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/archive_support.h"
#include "image/image.h"
#include "image_mount_support.h"
#include "ntfs3g_volume.h"
#include "platform/encoding.h"
#include "platform/event.h"
#include "platform/little_endian.h"
#include "platform/volume.h"
#include "services/virtual_disk.h"
#include "services_disk/described_disks.h"
#include "tools/command_run.h"

namespace orv::test {
namespace {

using vantrel_cli::CommandRun;
using vantrel_cli::RunVantrel;

std::string Narrow(const WString& path) { return os::ToUtf8(path); }

// Text as the catalogue stores it: UTF-16LE.
std::string Utf16Bytes(const std::string& text) {
  std::string bytes;
  for (char c : text) bytes += {c, '\0'};
  return bytes;
}

// A sector image mounted read-only at a free letter for as long as the object lives.
class MountedImage {
 public:
  explicit MountedImage(const WString& image) : letter_(FindFreeDriveLetter()) {
    if (library_.Load() == 0) result_ = library_.Mount(Drive(), Narrow(image), 1);
  }
  ~MountedImage() {
    if (result_ == 0) library_.UnMount(Drive());
  }
  MountedImage(const MountedImage&) = delete;
  MountedImage& operator=(const MountedImage&) = delete;

  int Result() const { return result_; }
  Char Letter() const { return letter_; }
  WString Root() const { return os::GetDriveFolder(letter_); }

 private:
  std::string Drive() const { return {static_cast<char>(letter_), ':'}; }

  Char letter_;
  VirtualDiskLibrary library_;
  int result_ = -1;
};

// Bytes the file system gave a file: less than its length where it has holes.
uint64_t AllocatedBytes(const WString& path) {
  struct stat status {};
  return stat(NativeOf(path).c_str(), &status) == 0 ? uint64_t(status.st_blocks) * 512 : 0;
}

class SectorCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = WhyImagesCannotMount(); !why.empty()) GTEST_SKIP() << why;
    const std::string why = volume_.Mount(NativeOf(folder_.Path()), "c", "SOURCE");
    if (!why.empty()) GTEST_SKIP() << why;
    const WString root = volume_.Path();
    ASSERT_EQ(os::CreateDirectoryTree(root + ORV_T("/docs/deep")), 0u);
    ASSERT_EQ(os::CreateDirectory(root + ORV_T("/empty")), 0u);
    WriteFile(root + ORV_T("/docs/a.txt"), "alpha");
    WriteFile(root + ORV_T("/docs/deep/noise.bin"), NoiseBytes(300000, 3));
    WriteFile(root + ORV_T("/big.bin"), NoiseBytes(3 << 20, 4));
    sync();  // the copy reads the image file, not the driver's cache
    disks_ = Narrow(folder_ / ORV_T("disks.xml"));
    WriteFile(folder_ / ORV_T("disks.xml"),
              "<disks>" +
                  DiskXml(0, 100 * kGiB,
                          PartitionXml(1, kMiB, 16 * kMiB, "07",
                                       "FileSystem=\"NTFS\" Folder=\"" + volume_.Root() + "\"")) +
                  "</disks>");
  }

  CommandRun Capture(const std::vector<std::string>& more = {}) {
    std::vector<std::string> arguments = {"image", "create", "--disk", "0", "--disks", disks_,
                                          "--target", Narrow(Images()), "--type", "3"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return RunVantrel(folder_, arguments);
  }
  WString Images() const { return folder_ / ORV_T("images"); }
  WString Part() const { return Images() + ORV_T("/PRELOAD/DISK0/PART1"); }

  TempFolder folder_;
  Ntfs3gVolume volume_;
  std::string disks_;
};

TEST_F(SectorCapture, TheImageHoldsTheUsedClustersAndMountsAsTheVolume) {
  const CommandRun run = Capture();
  ASSERT_EQ(run.exitCode, vantrel_cli::kExitSuccess) << run.errors;
  const WString image = Part() + ORV_T("/BASE.INP");
  const std::vector<uint8_t> bytes = RawFile(image);
  ASSERT_GE(bytes.size(), 64u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "!XSSXSS!");
  EXPECT_EQ(LoadLE<uint64_t>(bytes.data() + 16), 16u * kMiB);
  // Sparse: the free clusters of the volume took no room.
  EXPECT_LT(AllocatedBytes(image), 10 * kMiB);
  EXPECT_GT(AllocatedBytes(image), 3 * kMiB);
  const std::string listing = ReadFile(Part() + ORV_T("/ALL.CRC"));
  EXPECT_NE(listing.find(Utf16Bytes("docs\\deep\\noise.bin=")), std::string::npos);

  MountedImage mounted(image);
  ASSERT_EQ(mounted.Result(), 0);
  ASSERT_FALSE(mounted.Root().empty());
  EXPECT_EQ(TreeOf(mounted.Root()), TreeOf(volume_.Path()));
  // Read-only: nothing can be written through the mount.
  os::File file;
  EXPECT_NE(file.Open(mounted.Root() + ORV_T("/new.txt"), os::kGenericWrite, 0,
                      os::Disposition::kCreateNew),
            0u);
}

TEST_F(SectorCapture, ASplitImageIsCutIntoPartsAndMountsWhole) {
  const CommandRun run = Capture({"--split-size", "2"});
  ASSERT_EQ(run.exitCode, vantrel_cli::kExitSuccess) << run.errors;
  const WString image = Part() + ORV_T("/BASE.INP");
  // 1 MiB of header and table and 16 MiB of volume in parts of 2 MiB.
  EXPECT_EQ(FileSize(image), 2 * kMiB);
  EXPECT_EQ(FileSize(Part() + ORV_T("/BASE_0008.INP")), 1 * kMiB);
  EXPECT_FALSE(Exists(Part() + ORV_T("/BASE_0009.INP")));
  {
    MountedImage mounted(image);
    ASSERT_EQ(mounted.Result(), 0);
    EXPECT_EQ(TreeOf(mounted.Root()), TreeOf(volume_.Path()));
  }
  // The joined copy the mount used went with it.
  EXPECT_FALSE(Exists(image + ORV_T(".joined")));
}

TEST_F(SectorCapture, TheArchiveCommandsListASectorImageThroughItsMount) {
  ASSERT_EQ(Capture().exitCode, vantrel_cli::kExitSuccess);
  const CommandRun run = RunVantrel(folder_, {"inp", "list", Narrow(Part() + ORV_T("/BASE.INP"))});
  ASSERT_EQ(run.exitCode, vantrel_cli::kExitSuccess) << run.errors;
  EXPECT_NE(run.output.find("noise.bin"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("big.bin"), std::string::npos) << run.output;
}

TEST_F(SectorCapture, AVolumeThatIsNoMountedDeviceFailsWithItsCause) {
  const WString plain = folder_ / ORV_T("plain");
  ASSERT_EQ(os::CreateDirectory(plain), 0u);
  WriteFile(plain + ORV_T("/a.txt"), "a");
  WriteFile(folder_ / ORV_T("disks.xml"),
            "<disks>" +
                DiskXml(0, 100 * kGiB,
                        PartitionXml(1, kMiB, 16 * kMiB, "07",
                                     "FileSystem=\"NTFS\" Folder=\"" + NativeOf(plain) + "\"")) +
                "</disks>");
  const CommandRun run = Capture();
  EXPECT_EQ(run.exitCode, vantrel_cli::kExitFailure);
  EXPECT_NE(run.errors.find("error 110"), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find("cannot be read raw"), std::string::npos) << run.errors;
  EXPECT_FALSE(Exists(Images() + ORV_T("/PRELOAD")));
}

TEST(VirtualDisk, ANewDiskTakesFilesAndMountsAgainReadOnly) {
  if (const std::string why = WhyImagesCannotMount(); !why.empty()) GTEST_SKIP() << why;
  TempFolder folder;
  const WString image = folder / ORV_T("BASE.INP");
  COrvImage orv;
  Char drive[10] = {};
  ASSERT_TRUE(orv.MountImageINP(image.c_str(), 24, 0, drive)) << orv.GetLastErrorCode();
  ASSERT_EQ(WString(drive).size(), 3u);
  EXPECT_EQ(drive[2], '\\');
  const Char written = drive[0];
  WriteFile(WString(drive) + ORV_T("copied.txt"), "copied into the disk");
  // A second disk at the same image is refused: the first is never overwritten.
  Char second[10] = {};
  EXPECT_FALSE(orv.MountImageINP(image.c_str(), 24, 0, second));
  EXPECT_NE(orv.GetLastErrorCode(), 0u);
  EXPECT_TRUE(orv.UnmountSectorImage(written));
  EXPECT_FALSE(os::DriveLetterInUse(written));

  const Char letter = orv.FindFreeDriveLetter();
  const WString again{letter, ':'};
  ASSERT_TRUE(orv.MountSectorImage(image, again));
  EXPECT_EQ(ReadFile(again + ORV_T("\\copied.txt")), "copied into the disk");
  EXPECT_TRUE(orv.UnmountSectorImage(letter));
  EXPECT_FALSE(os::DriveLetterInUse(letter));
}

// Other programs (and other tests running beside this one) may hold every loop device
// that has a node; the mount then takes one the kernel adds.
TEST(VirtualDisk, MountsWhenEveryExistingLoopDeviceIsTaken) {
  if (const std::string why = WhyImagesCannotMount(); !why.empty()) GTEST_SKIP() << why;
  TempFolder folder;
  const std::string filler = NativeOf(folder / ORV_T("filler.img"));
  WriteFile(folder / ORV_T("filler.img"), std::string(4096, '\0'));
  const int backing = open(filler.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(backing, 0);
  std::vector<int> held;
  for (int number = 0; number < 64; ++number) {
    const int device = open(("/dev/loop" + std::to_string(number)).c_str(), O_RDONLY | O_CLOEXEC);
    if (device < 0) continue;
    if (ioctl(device, LOOP_SET_FD, backing) == 0)
      held.push_back(device);
    else
      close(device);
  }
  COrvImage orv;
  Char drive[10] = {};
  const BOOL mounted = orv.MountImageINP((folder / ORV_T("BASE.INP")).c_str(), 24, 0, drive);
  const DWORD error = orv.GetLastErrorCode();
  for (int device : held) {
    ioctl(device, LOOP_CLR_FD, 0);
    close(device);
  }
  close(backing);
  ASSERT_TRUE(mounted) << error << " with " << held.size() << " loop devices held";
  WriteFile(WString(drive) + ORV_T("a.txt"), "a");
  EXPECT_TRUE(orv.UnmountSectorImage(drive[0]));
}

// Cancels at the 40th question of the capture.
BOOL ORV_CALLBACK CancelLater(ORVVALUE message, ORVVALUE, ORVVALUE, ORVVALUE) {
  static int asked = 0;
  return message == 404 && ++asked == 40 ? FALSE : TRUE;
}

TEST_F(SectorCapture, ACancelledCopyLeavesNothing) {
  DescribedDisks disks(DiskXml(
      0, 100 * kGiB,
      PartitionXml(1, kMiB, 16 * kMiB, "07", "FileSystem=\"NTFS\" Folder=\"" + volume_.Root() + "\"")));
  const WString target = Images();
  COrvImage image;
  IMAGEDATA record{};
  record.dwImageType = 3;
  record.pstrTargetDir = target.c_str();
  record.pCallBack = CancelLater;
  EXPECT_FALSE(image.CreateImage(&record));
  EXPECT_EQ(image.GetLastErrorCode(), ORV_ERROR_CANCELLED);
  EXPECT_FALSE(Exists(target + ORV_T("/PRELOAD")));
}

TEST_F(SectorCapture, AStoppedCopyLeavesNothingAndABadDriveIsRefused) {
  Char letter = FindFreeDriveLetter();
  ASSERT_EQ(os::SetDriveFolder(letter, volume_.Path()), 0u);
  const std::string drive = {static_cast<char>(letter), ':'};
  const WString target = folder_ / ORV_T("stopped.INP");
  os::Event stop;
  ASSERT_EQ(stop.Create(ORV_T(""), true, true), 0u);
  VirtualDiskLibrary library;
  ASSERT_EQ(library.Load(), 0u);
  EXPECT_EQ(library.CloneDriveUsedSectorsSplitSize(drive, Narrow(target), 5, nullptr, 1,
                                                   stop.NativeHandle()),
            -8);
  EXPECT_FALSE(Exists(target));
  EXPECT_FALSE(Exists(folder_ / ORV_T("stopped_0001.INP")));
  EXPECT_EQ(library.CloneDriveUsedSectors("1:", Narrow(target), 5, nullptr, nullptr), -2);
  EXPECT_EQ(library.CloneDriveUsedSectors(drive, Narrow(target), 4, nullptr, nullptr), -2);
  // A letter whose folder is no mounted volume cannot be read raw.
  ASSERT_EQ(os::SetDriveFolder(letter, folder_.Path()), 0u);
  EXPECT_EQ(library.CloneDriveUsedSectors(drive, Narrow(target), 5, nullptr, nullptr), -4);
  os::SetDriveFolder(letter, ORV_T(""));
}

TEST_F(SectorCapture, AVolumeThatClaimsMoreSectorsThanItsDeviceHoldsIsRefused) {
  // The boot sector's count of sectors, raised to 32 GiB of a 16 MiB image, underneath the
  // mounted driver, which has read it already.
  const std::string device = volume_.Root() + ".img";
  const int fd = open(device.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  uint8_t count[8];
  StoreLE<uint64_t>(count, uint64_t{1} << 26);
  ASSERT_EQ(pwrite(fd, count, sizeof(count), 0x28), 8);
  close(fd);
  const Char letter = FindFreeDriveLetter();
  ASSERT_EQ(os::SetDriveFolder(letter, volume_.Path()), 0u);
  VirtualDiskLibrary library;
  ASSERT_EQ(library.Load(), 0u);
  const WString target = folder_ / ORV_T("damaged.INP");
  EXPECT_EQ(library.CloneDriveUsedSectors({static_cast<char>(letter), ':'}, Narrow(target), 5,
                                          nullptr, nullptr),
            -10);
  EXPECT_FALSE(Exists(target));
  os::SetDriveFolder(letter, ORV_T(""));
}

TEST_F(SectorCapture, AHeaderThatLiesIsRefusedAndMapsNothing) {
  ASSERT_EQ(Capture().exitCode, vantrel_cli::kExitSuccess);
  const WString image = Part() + ORV_T("/BASE.INP");
  std::vector<uint8_t> bytes = RawFile(image);
  StoreLE<uint64_t>(bytes.data() + 16, 64 * kMiB);  // a partition larger than the file
  const WString forged = folder_ / ORV_T("forged.INP");
  WriteRaw(forged, bytes);
  MountedImage mounted(forged);
  EXPECT_EQ(mounted.Result(), 13);
  EXPECT_TRUE(mounted.Root().empty());

  // And the letter of a drive the library did not mount is never unmounted by it.
  VirtualDiskLibrary library;
  ASSERT_EQ(library.Load(), 0u);
  const Char letter = FindFreeDriveLetter();
  ASSERT_EQ(os::SetDriveFolder(letter, volume_.Path()), 0u);
  EXPECT_EQ(library.UnMount({static_cast<char>(letter), ':'}), 5);
  EXPECT_EQ(os::GetDriveFolder(letter), volume_.Path());
  os::SetDriveFolder(letter, ORV_T(""));
}

}  // namespace
}  // namespace orv::test
