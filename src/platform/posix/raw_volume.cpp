// Raw volumes on Linux: the block device or image file that the mount table names as the
// source of the mount at the volume's folder (a drive root resolves through the volume
// table). The folder must be the mount point itself: a folder inside a mounted volume
// is no volume of its own.
#include "platform/raw_volume.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/errors.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/metadata.h"
#include "platform/posix/ntfs3g.h"
#include "platform/posix/mount_table.h"
#include "platform/posix/path_map.h"

namespace orv::os {

namespace {

// The source of the last mount made on exactly `folder`; empty when nothing is mounted
// there.
std::string MountSource(const std::string& folder) {
  std::string found;
  for (const posix::MountEntry& mount : posix::ReadMountTable())
    if (mount.root == "/" && mount.mountPoint == folder) found = mount.source;
  return found;
}

int Descriptor(void* handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)) - 1; }

}  // namespace

DWORD RawVolume::Open(WStringView root) {
  Close();
  std::string native;
  if (const DWORD error = posix::ResolveExisting(root, native))
    return error == err::kFileNotFound ? err::kPathNotFound : error;
  char* canonical = realpath(native.c_str(), nullptr);
  if (canonical == nullptr) return posix::LastError();
  const std::string folder = canonical;
  free(canonical);
  const std::string source = MountSource(folder);
  if (source.empty() || source[0] != '/') return err::kPathNotFound;
  const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return posix::LastError();
  handle_ = reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);
  return err::kSuccess;
}

void RawVolume::Close() {
  if (handle_ != nullptr) ::close(Descriptor(handle_));
  handle_ = nullptr;
}

DWORD RawVolume::Read(uint64_t offset, void* buffer, DWORD size) {
  if (handle_ == nullptr) return err::kInvalidHandle;
  if (offset > static_cast<uint64_t>(INT64_MAX) - size) return err::kInvalidParameter;
  auto* bytes = static_cast<uint8_t*>(buffer);
  DWORD done = 0;
  while (done < size) {
    const ssize_t got = ::pread(Descriptor(handle_), bytes + done, size - done,
                                static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return posix::LastError();
    if (got == 0) return err::kHandleEof;
    done += static_cast<DWORD>(got);
  }
  return err::kSuccess;
}

DWORD RawVolume::Size(uint64_t& size) const {
  if (handle_ == nullptr) return err::kInvalidHandle;
  struct stat status {};
  if (fstat(Descriptor(handle_), &status) != 0) return posix::LastError();
  if (!S_ISBLK(status.st_mode)) {
    size = static_cast<uint64_t>(status.st_size);
    return err::kSuccess;
  }
  return ioctl(Descriptor(handle_), BLKGETSIZE64, &size) == 0 ? err::kSuccess : posix::LastError();
}

// On a volume mounted through ntfs-3g the inode number is the record number in the
// master file table (the sequence number is not shown); elsewhere Linux numbers files
// in its own way, which no reader of the volume could use.
DWORD GetFileReference(WStringView path, uint64_t& reference) {
  posix::EntryStat entry;
  std::string native;
  if (const DWORD error = posix::ResolveExisting(path, native)) return error;
  if (const DWORD error = posix::StatPath(native, entry)) return error;
  if (!posix::OnNtfs3g(posix::EntryRef{native}, entry)) return err::kNotSupported;
  reference = entry.st.stx_ino;
  return err::kSuccess;
}

}  // namespace orv::os
