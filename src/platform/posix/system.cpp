// Process rights on Linux: root holds every privilege; access repair is a change of the
// owner's permission bits; there is no file-system redirection and no running Windows.
#include "platform/system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "platform/case_fold.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/path_map.h"
#include "platform/volume.h"

namespace orv::os {

DWORD SetPrivilege(WStringView, bool enable, bool* changed) {
  if (changed) *changed = false;
  return !enable || geteuid() == 0 ? err::kSuccess : err::kNotAllAssigned;
}

DWORD GrantAdministratorsAccess(WStringView path, DWORD) {
  std::string native;
  if (DWORD error = posix::ResolveExisting(path, native)) return error;
  // The entry is held by a descriptor that does not follow a final link, and the change
  // goes to what the descriptor holds: an entry swapped for a link in between is never
  // followed to its target.
  const int fd = open(native.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return posix::ErrnoToWindows(errno);
  struct stat st {};
  DWORD error = err::kSuccess;
  if (fstat(fd, &st) != 0) {
    error = posix::ErrnoToWindows(errno);
  } else if (!S_ISLNK(st.st_mode)) {  // links carry no permissions
    mode_t mode = st.st_mode | S_IRUSR | S_IWUSR;
    if (S_ISDIR(st.st_mode)) mode |= S_IXUSR;
    const std::string held = "/proc/self/fd/" + std::to_string(fd);
    if (chmod(held.c_str(), mode & 07777) != 0) error = posix::ErrnoToWindows(errno);
  }
  close(fd);
  return error;
}

DWORD TakeOwnership(WStringView path) {
  std::string native;
  if (DWORD error = posix::ResolveExisting(path, native)) return error;
  return lchown(native.c_str(), geteuid(), static_cast<gid_t>(-1)) == 0
             ? err::kSuccess
             : posix::ErrnoToWindows(errno);
}

bool IsWow64Process() { return false; }

DWORD DisableFsRedirection(void*& state) {
  state = nullptr;
  return err::kSuccess;
}

DWORD RevertFsRedirection(void*) { return err::kSuccess; }

DWORD PartitionNumberOfDrive(Char letter) {
  const WString folder = GetDriveFolder(letter);
  if (folder.empty()) return 0;
  struct stat st {};
  if (stat(ToUtf8(folder).c_str(), &st) != 0) return 0;
  // The block device behind the folder's file system tells its partition number.
  std::ifstream in("/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                   std::to_string(minor(st.st_dev)) + "/partition");
  DWORD number = 0;
  return in >> number ? number : 0;
}

DWORD WindowsFolder(WString& folder) {
  folder = ORV_T("C:\\Windows");
  return err::kSuccess;
}

DWORD SystemVolumeLocation(DWORD&, DWORD&) { return err::kNotSupported; }

ServiceLookup FindSystemService(WStringView name) {
  if (CompareNoCase(name, ORV_T("WimFltr")) != 0) return ServiceLookup::kNotInstalled;
  struct stat st {};
  return stat("/dev/fuse", &st) == 0 && S_ISCHR(st.st_mode) ? ServiceLookup::kInstalled
                                                             : ServiceLookup::kNotInstalled;
}

WString VirtualDiskFormatCommand(WStringView) { return {}; }

}  // namespace orv::os
