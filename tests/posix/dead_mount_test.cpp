// A virtual disk whose ntfs-3g has died still unmounts: the folder answers nothing any
// more, yet the mount, its folder and its letter all go.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/image.h"
#include "image_mount_support.h"
#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/posix/mount_table.h"
#include "platform/volume.h"
#include "services/virtual_disk.h"
#include "support/temp_folder.h"

namespace orv::test {
namespace {

// The arguments a process was started with.
std::vector<std::string> Arguments(const std::string& pid) {
  std::ifstream file("/proc/" + pid + "/cmdline", std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  std::vector<std::string> arguments;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\0', start);
    arguments.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return arguments;
}

// The ntfs-3g process that serves the mount at `folder`; 0 when there is none.
pid_t DriverOf(const std::string& folder) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return 0;
  pid_t found = 0;
  while (const dirent* entry = readdir(proc)) {
    const std::string pid = entry->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::vector<std::string> arguments = Arguments(pid);
    if (arguments.size() >= 2 && arguments.front().find("ntfs-3g") != std::string::npos &&
        arguments.back() == folder)
      found = std::stoi(pid);
  }
  closedir(proc);
  return found;
}

bool Mounted(const std::string& folder) {
  for (const os::posix::MountEntry& mount : os::posix::ReadMountTable())
    if (mount.mountPoint == folder) return true;
  return false;
}

// Whether the folder answers "transport endpoint is not connected", as it does once the
// driver behind it is gone.
bool Disconnected(const std::string& folder) {
  struct stat status {};
  return lstat(folder.c_str(), &status) != 0 && errno == ENOTCONN;
}

TEST(DeadMount, AVirtualDiskWhoseDriverDiedUnmountsAndFreesItsLetter) {
  if (const std::string why = WhyImagesCannotMount(); !why.empty()) GTEST_SKIP() << why;
  TempFolder folder;
  COrvImage image;
  Char drive[10] = {};
  ASSERT_TRUE(image.MountImageINP((folder / ORV_T("BASE.INP")).c_str(), 24, 0, drive))
      << image.GetLastErrorCode();
  const Char letter = drive[0];
  const std::string mountFolder = os::ToUtf8(os::GetDriveFolder(letter));
  ASSERT_TRUE(Mounted(mountFolder)) << mountFolder;
  const pid_t driver = DriverOf(mountFolder);
  ASSERT_NE(driver, 0) << "no ntfs-3g serves " << mountFolder;
  ASSERT_EQ(kill(driver, SIGKILL), 0);
  for (int wait = 0; wait < 50 && !Disconnected(mountFolder); ++wait) os::Sleep(100);
  ASSERT_TRUE(Disconnected(mountFolder));

  VirtualDiskLibrary library;
  ASSERT_EQ(library.Load(), 0u);
  EXPECT_EQ(library.UnMount({static_cast<char>(letter), ':'}), 0);
  EXPECT_FALSE(os::DriveLetterInUse(letter));
  EXPECT_FALSE(Mounted(mountFolder));
  struct stat status {};
  EXPECT_NE(lstat(mountFolder.c_str(), &status), 0);
  EXPECT_EQ(errno, ENOENT);
  // What a failed unmount left behind goes, so that later runs find the system clean.
  if (Mounted(mountFolder)) umount2(mountFolder.c_str(), MNT_DETACH);
  rmdir(mountFolder.c_str());
  os::SetDriveFolder(letter, ORV_T(""));
}

}  // namespace
}  // namespace orv::test
