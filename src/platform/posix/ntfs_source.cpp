// The device or image file behind an NTFS volume, from the mount table. A source that
// several mounts share counts as read-only only when every one of them is.
#include "platform/ntfs_source.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "platform/errors.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/metadata.h"
#include "platform/posix/mount_table.h"
#include "platform/posix/ntfs3g.h"
#include "platform/posix/path_map.h"

namespace orv::os {

namespace {

// The canonical form of an existing native path; empty when it has none.
std::string Canonical(const std::string& native) {
  char* canonical = realpath(native.c_str(), nullptr);
  if (canonical == nullptr) return {};
  std::string result = canonical;
  free(canonical);
  return result;
}

// How the mounts of the table use the canonical source `device`.
void ReadMountsOf(NtfsSource& source) {
  source.mounted = false;
  source.readOnly = true;
  for (const posix::MountEntry& mount : posix::ReadMountTable()) {
    if (mount.source.empty() || mount.source[0] != '/' ||
        Canonical(mount.source) != source.device)
      continue;
    source.mounted = true;
    source.readOnly = source.readOnly && mount.readOnly;
  }
}

bool HasNtfsBootSector(const std::string& native) {
  static constexpr char kOemId[] = "NTFS    ";
  const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char oem[sizeof kOemId - 1] = {};
  const bool read = ::pread(fd, oem, sizeof oem, 3) == static_cast<ssize_t>(sizeof oem);
  ::close(fd);
  return read && std::memcmp(oem, kOemId, sizeof oem) == 0;
}

}  // namespace

DWORD FindNtfs3gRootSource(WStringView root, NtfsSource& source) {
  std::string native;
  if (DWORD error = posix::ResolveExisting(root, native)) return error;
  const std::string folder = Canonical(native);
  if (folder.empty()) return posix::LastError();
  posix::EntryStat entry;
  if (DWORD error = posix::StatPath(folder, entry)) return error;
  if (!entry.isDirectory || !posix::OnNtfs3g(posix::EntryRef{folder}, entry))
    return err::kNotSupported;
  std::string device;
  for (const posix::MountEntry& mount : posix::ReadMountTable())
    if (mount.root == "/" && mount.mountPoint == folder) device = mount.source;
  if (device.empty() || device[0] != '/') return err::kNotSupported;
  source.device = Canonical(device);
  if (source.device.empty()) return err::kNotSupported;
  ReadMountsOf(source);
  return err::kSuccess;
}

DWORD FindNtfsDeviceSource(WStringView device, NtfsSource& source) {
  std::string native;
  if (DWORD error = posix::ResolveExisting(device, native)) return error;
  source.device = Canonical(native);
  if (source.device.empty()) return posix::LastError();
  if (!HasNtfsBootSector(source.device)) return err::kInvalidData;
  ReadMountsOf(source);
  return err::kSuccess;
}

}  // namespace orv::os
