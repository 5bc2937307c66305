// Volumes: free space from statvfs (for a folder that stands for a partition, from the
// partition's size, see partition_space.h), the file-system name from the mount table. Linux
// keeps no volume label or serial number the way Windows does; the label is left empty
// and the serial number is the device number folded to 32 bits, stable while mounted.
// An NTFS volume mounted through ntfs-3g answers as on Windows: "NTFS", with the label
// read from the device or image file the mount table names.
#include <stdlib.h>
#include <sys/statvfs.h>
#include <unistd.h>


#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/metadata.h"
#include "platform/posix/mount_table.h"
#include "platform/posix/ntfs3g.h"
#include "platform/posix/partition_space.h"
#include "platform/posix/path_map.h"
#include "platform/process.h"
#include "platform/volume.h"

namespace orv::os {

namespace {

// Any existing path names the volume that holds it; the path is taken for a folder, so
// a missing one is a missing path.
DWORD VolumeFolder(WStringView path, std::string& native) {
  const DWORD error = posix::ResolveExisting(path, native);
  return error == err::kFileNotFound ? err::kPathNotFound : error;
}

struct Mount {
  std::string type;
  std::string source;  // the device or image file, as the file system reports it
};

// The mount that holds `path` (canonical): the deepest mount point above it, the last
// one mounted when several share it.
Mount MountOf(const std::string& path) {
  std::string bestMount;
  Mount best;
  for (const posix::MountEntry& mount : posix::ReadMountTable()) {
    if (mount.type.empty() || !posix::NativeWithin(mount.mountPoint, path) ||
        mount.mountPoint.size() < bestMount.size())
      continue;
    best = Mount{mount.type, mount.source};
    bestMount = mount.mountPoint;
  }
  return best;
}

}  // namespace

DWORD GetFreeSpace(WStringView path, VolumeSpace& space) {
  std::string native;
  if (DWORD error = VolumeFolder(path, native)) return error;
  struct statvfs st;
  if (statvfs(native.c_str(), &st) != 0) return posix::LastError();
  space.freeToCaller = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
  space.free = static_cast<uint64_t>(st.f_bfree) * st.f_frsize;
  space.total = static_cast<uint64_t>(st.f_blocks) * st.f_frsize;
  if (const auto partition = posix::PartitionSpace(native, space)) space = *partition;
  return err::kSuccess;
}

DWORD GetVolumeInfo(WStringView path, VolumeInfo& info) {
  std::string native;
  if (DWORD error = VolumeFolder(path, native)) return error;
  posix::EntryStat entry;
  if (DWORD error = posix::StatPath(native, entry, true)) return error;
  char* canonical = realpath(native.c_str(), nullptr);
  if (canonical == nullptr) return posix::LastError();
  const std::string real = canonical;
  free(canonical);
  info.label.clear();
  info.serial = posix::VolumeSerial(entry.st);
  const Mount mount = MountOf(real);
  if (!posix::OnNtfs3g(posix::EntryRef{real}, entry)) {
    info.fileSystem = FromUtf8(mount.type);
    return err::kSuccess;
  }
  info.fileSystem = ORV_T("NTFS");
  // A label that cannot be read (a device only root may open) leaves it empty.
  posix::ReadNtfsLabel(mount.source, info.label);
  return err::kSuccess;
}

bool DriveLetterInUse(Char letter) { return !GetDriveFolder(letter).empty(); }

DWORD FindImageMountVolume(WString& root) {
  for (Char letter = 'C'; letter <= 'Z'; ++letter) {
    const WString folder = GetDriveFolder(letter);
    if (!folder.empty() && access(ToUtf8(folder).c_str(), W_OK) == 0) {
      root = WString(1, letter) + ORV_T(":\\");
      return err::kSuccess;
    }
  }
  // Without mapped drives the temporary folder serves.
  root = GetTempFolder();
  if (root.empty() || access(ToUtf8(root).c_str(), W_OK) != 0) return err::kInvalidDrive;
  if (root.back() != '/' && root.back() != '\\') root += '/';
  return err::kSuccess;
}

}  // namespace orv::os
