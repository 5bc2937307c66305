// NTFS file systems in files on Linux: a loop device over the bytes, set to clear itself
// once the last holder closes it, and ntfs-3g on the device. ntfs-3g keeps the device
// open while it runs, so an unmount alone frees everything.
#include "platform/ntfs_image_mount.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/descriptor.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/mount_table.h"
#include "platform/posix/path_map.h"
#include "platform/process.h"

namespace orv::os {

namespace {

constexpr int kLoopDevices = 256;
constexpr unsigned kLoopMajor = 7;
constexpr int kUnmountAttempts = 20;

// The system program of that name from the system's own folders (never the current
// directory, never an arbitrary PATH entry); empty when it is not installed.
std::string SystemProgram(const char* name) {
  for (const char* folder : {"/usr/sbin/", "/usr/bin/", "/sbin/", "/bin/"}) {
    const std::string path = std::string(folder) + name;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

WString Quoted(const std::string& text) { return ORV_T("\"") + FromUtf8(text) + ORV_T("\""); }

DWORD Run(const std::string& program, const WString& arguments) {
  DWORD exitCode = 0;
  if (const DWORD error = RunProgram(Quoted(program) + ORV_T(" ") + arguments, true, exitCode))
    return error;
  return exitCode == 0 ? err::kSuccess : err::kFileCorrupt;
}

// Binds the loop device `device` to `file` from `offset` for `size` bytes, set to clear
// itself when its last descriptor closes. kBusy when another holder has it.
DWORD BindLoop(const std::string& device, int file, uint64_t offset, uint64_t size,
               bool readOnly, int& loop) {
  const int fd = open(device.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
  if (fd < 0) return posix::LastError();
  if (ioctl(fd, LOOP_SET_FD, file) != 0) {
    close(fd);
    return err::kBusy;
  }
  loop_info64 info{};
  info.lo_offset = offset;
  info.lo_sizelimit = size;
  info.lo_flags = LO_FLAGS_AUTOCLEAR;
  if (ioctl(fd, LOOP_SET_STATUS64, &info) != 0) {
    const DWORD error = posix::LastError();
    ioctl(fd, LOOP_CLR_FD, 0);
    close(fd);
    return error;
  }
  loop = fd;
  return err::kSuccess;
}

// Binds a free loop device: the first existing one nobody holds, else one the kernel
// frees or makes through loop-control. Other programs bind devices at the same time, so
// a device found free may be taken before it is bound; the search then goes on.
DWORD AttachLoop(int file, uint64_t offset, uint64_t size, bool readOnly, int& loop,
                 std::string& device) {
  for (int number = 0; number < kLoopDevices; ++number) {
    device = "/dev/loop" + std::to_string(number);
    const DWORD error = BindLoop(device, file, offset, size, readOnly, loop);
    if (error == err::kSuccess) return error;
    if (error == err::kFileNotFound) break;
  }
  const posix::Descriptor control(open("/dev/loop-control", O_RDWR | O_CLOEXEC));
  if (control.get() < 0) return err::kNotReady;
  for (int attempt = 0; attempt < kLoopDevices; ++attempt) {
    const int number = ioctl(control.get(), LOOP_CTL_GET_FREE);
    if (number < 0) return err::kNotReady;
    device = "/dev/loop" + std::to_string(number);
    // Where /dev is a plain folder (a container's), a device the kernel made has no
    // node yet.
    if (access(device.c_str(), F_OK) != 0 &&
        mknod(device.c_str(), S_IFBLK | 0660, makedev(kLoopMajor, number)) != 0 && errno != EEXIST)
      return err::kNotReady;
    const DWORD error = BindLoop(device, file, offset, size, readOnly, loop);
    if (error != err::kBusy) return error;
  }
  return err::kNotReady;
}

// `folder` as the mount table names it: resolved by the system. The folder of a mount
// whose ntfs-3g has died answers nothing about itself ("transport endpoint is not
// connected"); it is then named by its resolved parent and its own name, so that the
// dead mount can still be found and taken away.
DWORD MountPointName(WStringView folder, std::string& name) {
  std::string native;
  if (const DWORD error = posix::ResolveExisting(folder, native)) {
    struct stat status {};
    if (posix::SpelledPath(folder, native) != 0 || lstat(native.c_str(), &status) == 0 ||
        errno != ENOTCONN)
      return error;
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    const size_t cut = native.find_last_of('/');
    if (cut == std::string::npos) return error;
    char* parent = realpath(cut == 0 ? "/" : native.substr(0, cut).c_str(), nullptr);
    if (parent == nullptr) return error;
    name = posix::JoinNative(parent, native.substr(cut + 1));
    free(parent);
    return err::kSuccess;
  }
  char* canonical = realpath(native.c_str(), nullptr);
  if (canonical == nullptr) return posix::LastError();
  name = canonical;
  free(canonical);
  return err::kSuccess;
}

}  // namespace

bool CanMountNtfsImages() { return true; }

DWORD MountNtfsImage(const NtfsImageMount& image, WStringView folder) {
  std::string file, target;
  if (const DWORD error = posix::ResolveExisting(image.file, file)) return error;
  if (const DWORD error = posix::ResolveExisting(folder, target)) return error;
  const std::string ntfs3g = SystemProgram("ntfs-3g");
  const std::string mkntfs = SystemProgram("mkntfs");
  if (ntfs3g.empty() || (image.format && mkntfs.empty())) return err::kFileNotFound;
  const posix::Descriptor source(
      open(file.c_str(), (image.readOnly ? O_RDONLY : O_RDWR) | O_NOFOLLOW | O_CLOEXEC));
  if (source.get() < 0) return posix::LastError();
  int loopFd = -1;
  std::string device;
  if (const DWORD error =
          AttachLoop(source.get(), image.offset, image.size, image.readOnly, loopFd, device))
    return error;
  // Held until ntfs-3g holds the device itself; closing it then leaves the clearing to
  // the unmount, and on a failure clears the device at once.
  const posix::Descriptor loop(loopFd);
  if (image.format) {
    if (const DWORD error = Run(mkntfs, ORV_T("-Q -F -q ") + Quoted(device))) return error;
  }
  const WString options = image.readOnly ? ORV_T("-o ro ") : ORV_T("");
  return Run(ntfs3g, options + Quoted(device) + ORV_T(" ") + Quoted(target));
}

DWORD UnmountNtfsImage(WStringView folder) {
  std::string target;
  if (const DWORD error = MountPointName(folder, target)) return error;
  bool ours = false;
  for (const posix::MountEntry& mount : posix::ReadMountTable())
    if (mount.mountPoint == target) ours = mount.source.rfind("/dev/loop", 0) == 0;
  if (!ours) return err::kInvalidFunction;
  for (int attempt = 0; attempt < kUnmountAttempts; ++attempt) {
    if (umount2(target.c_str(), 0) == 0) return err::kSuccess;
    if (errno != EBUSY) return posix::LastError();
    usleep(100 * 1000);
  }
  // Still busy: detached now, gone when its last user lets go.
  return umount2(target.c_str(), MNT_DETACH) == 0 ? err::kSuccess : posix::LastError();
}

}  // namespace orv::os
