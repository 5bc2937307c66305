// Folders held open by descriptor: entries are reached with openat and removed with
// unlinkat relative to the open folder, never through a path that a link could redirect.
#include "platform/folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/metadata.h"
#include "platform/posix/path_map.h"
#include "platform/posix/share_table.h"

namespace orv::os {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

struct FolderState {
  int fd = -1;
  int parent = -1;   // the folder that holds it; -1 for a root, which is never deleted
  std::string name;  // its name in the parent
};

void CloseState(FolderState* state) {
  if (state == nullptr) return;
  if (state->fd >= 0) close(state->fd);
  if (state->parent >= 0) close(state->parent);
  delete state;
}

// What the entry `name` of the open folder is, its final link not followed.
DWORD LookAt(int folder, const std::string& name, struct statx& st) {
  if (statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO, &st) != 0)
    return posix::LastError();
  return err::kSuccess;
}

// Opens the folder `name` of the open folder `parent` (a duplicate of it is kept, so that
// the folder can delete itself).
DWORD OpenIn(int parent, const std::string& name, FolderState*& out) {
  const int fd = openat(parent, name.c_str(), kFolderFlags);
  if (fd < 0) {
    const int failure = errno;
    struct statx st {};
    if ((failure == ELOOP || failure == ENOTDIR) && LookAt(parent, name, st) == 0)
      return S_ISLNK(st.stx_mode) ? kStoppedOnLink : err::kDirectory;
    return posix::ErrnoToWindows(failure);
  }
  const int kept = fcntl(parent, F_DUPFD_CLOEXEC, 0);
  if (kept < 0) {
    const DWORD error = posix::LastError();
    close(fd);
    return error;
  }
  out = new FolderState{fd, kept, name};
  return err::kSuccess;
}

// Windows refuses to delete an item that a handle of this process holds without
// share-delete; the emulation keeps that rule.
DWORD CheckShare(const struct statx& st) { return posix::CheckDeleteShare(posix::KeyOf(st)); }

DWORD Unlink(int folder, const std::string& name) {
  struct statx st {};
  if (statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &st) != 0)
    return posix::LastError();
  if (S_ISDIR(st.stx_mode)) return err::kAccessDenied;
  if (DWORD error = CheckShare(st)) return error;
  return unlinkat(folder, name.c_str(), 0) == 0 ? err::kSuccess : posix::LastError();
}

}  // namespace

void Folder::Close() { CloseState(static_cast<FolderState*>(std::exchange(state_, nullptr))); }

DWORD Folder::Open(WStringView path) {
  Close();
  posix::ResolvedPath resolved;
  if (DWORD error = posix::ResolvePath(path, resolved)) return error;
  if (!resolved.exists) return err::kFileNotFound;
  FolderState* state = nullptr;
  if (resolved.isRoot) {
    const int fd = open(resolved.native.c_str(), kFolderFlags);
    if (fd < 0) return posix::LastError();
    state = new FolderState{fd, -1, std::string()};
  } else {
    // The caller's own path leads to the parent; only the final entry is not followed.
    const int parent = open(resolved.parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) return posix::LastError();
    const DWORD error = OpenIn(parent, resolved.name, state);
    close(parent);
    if (error) return error;
  }
  state_ = state;
  path_ = WString(path);
  return err::kSuccess;
}

DWORD Folder::OpenChild(WStringView name, Folder& child) const {
  child.Close();
  const auto* state = static_cast<const FolderState*>(state_);
  if (state == nullptr) return err::kInvalidHandle;
  FolderState* opened = nullptr;
  if (DWORD error = OpenIn(state->fd, ToUtf8(name), opened)) return error;
  child.state_ = opened;
  child.path_ = path_ + ORV_T("\\") + WString(name);
  return err::kSuccess;
}

DWORD Folder::PinChild(WStringView name, Folder& pinned) const {
  pinned.Close();
  const auto* state = static_cast<const FolderState*>(state_);
  if (state == nullptr) return err::kInvalidHandle;
  const std::string native = ToUtf8(name);
  const int fd = openat(state->fd, native.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return posix::LastError();
  struct statx st {};
  if (statx(fd, "", AT_EMPTY_PATH, STATX_TYPE, &st) != 0 || !S_ISDIR(st.stx_mode)) {
    const bool link = S_ISLNK(st.stx_mode);
    close(fd);
    return link ? kStoppedOnLink : err::kDirectory;
  }
  pinned.state_ = new FolderState{fd, -1, native};
  pinned.path_ = path_ + ORV_T("\\") + WString(name);
  return err::kSuccess;
}

DWORD Folder::Identity(FileIdentity& identity) const {
  const auto* state = static_cast<const FolderState*>(state_);
  if (state == nullptr) return err::kInvalidHandle;
  struct statx st {};
  if (statx(state->fd, "", AT_EMPTY_PATH, STATX_INO, &st) != 0) return posix::LastError();
  identity.volumeSerial = posix::VolumeSerial(st);
  identity.fileIndex = st.stx_ino;
  return err::kSuccess;
}

DWORD Folder::List(std::vector<FolderEntry>& entries) const {
  entries.clear();
  const auto* state = static_cast<const FolderState*>(state_);
  if (state == nullptr) return err::kInvalidHandle;
  // The listing reads through its own descriptor of the same open folder.
  const int fd = openat(state->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return posix::LastError();
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    const DWORD error = posix::LastError();
    close(fd);
    return error;
  }
  DWORD error = err::kSuccess;
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry found;
    found.name = FromUtf8(name);
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN) {
      struct statx st {};
      if (LookAt(state->fd, name, st) != 0) continue;  // gone since it was listed
      type = S_ISDIR(st.stx_mode) ? DT_DIR : S_ISLNK(st.stx_mode) ? DT_LNK : DT_REG;
    }
    found.folder = type == DT_DIR;
    found.link = type == DT_LNK;
    entries.push_back(std::move(found));
    errno = 0;
  }
  if (errno != 0) error = posix::LastError();
  closedir(dir);
  return error;
}

DWORD Folder::DeleteEntry(WStringView name) const {
  const auto* state = static_cast<const FolderState*>(state_);
  if (state == nullptr) return err::kInvalidHandle;
  return Unlink(state->fd, ToUtf8(name));
}

DWORD Folder::DeleteSelf() {
  auto* state = static_cast<FolderState*>(state_);
  if (state == nullptr) return err::kInvalidHandle;
  if (state->parent < 0) return err::kAccessDenied;  // a root stays
  struct statx self {}, there {};
  if (statx(state->fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &self) != 0)
    return posix::LastError();
  if (DWORD error = CheckShare(self)) return error;
  // The name must still be this folder: one moved away and replaced stays where it went.
  if (DWORD error = LookAt(state->parent, state->name, there)) return error;
  if (!S_ISDIR(there.stx_mode) || posix::KeyOf(there) != posix::KeyOf(self))
    return err::kAccessDenied;
  const int parent = state->parent;
  const std::string name = state->name;
  state->parent = -1;
  Close();
  const int removed = unlinkat(parent, name.c_str(), AT_REMOVEDIR);
  const int failure = errno;
  close(parent);
  if (removed == 0) return err::kSuccess;
  // POSIX allows either code for a folder that is not empty.
  return failure == ENOTEMPTY || failure == EEXIST ? err::kDirNotEmpty
                                                   : posix::ErrnoToWindows(failure);
}

DWORD DeleteEntryAt(WStringView path) {
  posix::ResolvedPath resolved;
  if (DWORD error = posix::ResolvePath(path, resolved)) return error;
  if (!resolved.exists) return err::kFileNotFound;
  if (resolved.isRoot) return err::kAccessDenied;
  const int parent = open(resolved.parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent < 0) return posix::LastError();
  const DWORD error = Unlink(parent, resolved.name);
  close(parent);
  return error;
}

}  // namespace orv::os
