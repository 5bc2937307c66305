// Restore targets on Linux: the folder is held open and every name is created, renamed
// and removed relative to it, so no link on the way or at the final name is followed.
#include "platform/target_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "platform/case_fold.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/created_file.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/path_map.h"

namespace orv::os {

namespace {

constexpr DWORD kStagingAccess = kGenericRead | kGenericWrite | kDeleteAccess;
constexpr int kCreateFlags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;

WString Folded(std::string_view name) {
  WString folded = FromUtf8(name);
  for (Char& c : folded) c = ToUpper(c);
  return folded;
}

// 16 hexadecimal digits from the system's random source.
DWORD RandomName(std::string& name) {
  uint64_t bits = 0;
  if (getrandom(&bits, sizeof bits, 0) != static_cast<ssize_t>(sizeof bits))
    return posix::LastError();
  char text[24];
  std::snprintf(text, sizeof text, "~vt%016" PRIx64, bits);
  name = text;
  return err::kSuccess;
}

}  // namespace

struct TargetFolder::State {
  int fd = -1;
  bool followed = false;  // opened through a link the caller trusts
  std::string native;
  bool namesRead = false;
  // Upper-cased name -> the on-disk name, read once when a name is missing as spelled.
  std::unordered_map<WString, std::string> foldedNames;

  ~State() {
    if (fd >= 0) close(fd);
  }

  bool Exists(const std::string& name) const {
    struct stat st;
    return fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  }

  void ReadNames() {
    namesRead = true;
    const int copy = openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0) return;
    DIR* dir = fdopendir(copy);
    if (dir == nullptr) {
      close(copy);
      return;
    }
    while (const dirent* entry = readdir(dir)) {
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      Remember(std::string(name));
    }
    closedir(dir);
  }

  // When several names match ignoring case, the smallest in byte order answers, as in
  // the lookup of paths.
  void Remember(const std::string& name) {
    if (!namesRead) return;
    auto [slot, added] = foldedNames.try_emplace(Folded(name), name);
    if (!added && name < slot->second) slot->second = name;
  }

  void Forget(const std::string& name) {
    if (!namesRead) return;
    const auto slot = foldedNames.find(Folded(name));
    if (slot != foldedNames.end() && slot->second == name) foldedNames.erase(slot);
  }

  // The existing entry that `name` names ignoring case; empty when there is none.
  std::string ExistingSpelling(const std::string& name) {
    if (Exists(name)) return name;
    if (!namesRead) ReadNames();
    const auto slot = foldedNames.find(Folded(name));
    if (slot == foldedNames.end() || !Exists(slot->second)) return std::string();
    return slot->second;
  }
};

TargetFolder::TargetFolder() = default;
TargetFolder::~TargetFolder() = default;

DWORD TargetFolder::Open(WStringView path, bool mayBeLink) {
  state_.reset();
  posix::ResolvedPath resolved;
  if (DWORD error = posix::ResolvePath(path, resolved)) return error;
  if (!resolved.exists) return err::kPathNotFound;
  auto state = std::make_unique<State>();
  state->followed = mayBeLink;
  state->fd = open(resolved.native.c_str(),
                   O_RDONLY | O_DIRECTORY | O_CLOEXEC | (mayBeLink ? 0 : O_NOFOLLOW));
  if (state->fd < 0) {
    if (errno == ELOOP) return err::kInvalidName;
    return errno == ENOTDIR ? err::kDirectory : posix::LastError();
  }
  state->native = resolved.native;
  path_.assign(path);
  state_ = std::move(state);
  return err::kSuccess;
}

DWORD TargetFolder::OpenBelow(const TargetFolder& root, WStringView relative) {
  state_.reset();
  if (!root.state_) return err::kInvalidHandle;
  const WString path = root.PathOf(relative);
  // The lookup gives the names as the disk spells them; the walk below trusts none of
  // what it saw and opens each name afresh.
  posix::ResolvedPath resolved;
  if (DWORD error = posix::ResolvePath(path, resolved)) return error;
  if (!resolved.exists) return err::kPathNotFound;
  const std::string& top = root.state_->native;
  if (!posix::NativeWithin(top, resolved.native) || resolved.native.size() <= top.size())
    return err::kInvalidName;
  auto state = std::make_unique<State>();
  state->fd = openat(root.state_->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (state->fd < 0) return posix::LastError();
  const std::string below = resolved.native.substr(top.back() == '/' ? top.size() : top.size() + 1);
  for (size_t start = 0; start < below.size();) {
    const size_t end = std::min(below.find('/', start), below.size());
    const std::string name = below.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    const int next =
        openat(state->fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      const int cause = errno;
      struct stat entry;
      if (fstatat(state->fd, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(entry.st_mode))
        return err::kInvalidName;
      return cause == ENOENT    ? err::kPathNotFound
             : cause == ENOTDIR ? err::kDirectory
                                : posix::ErrnoToWindows(cause);
    }
    close(state->fd);
    state->fd = next;
  }
  state->native = resolved.native;
  path_ = path;
  state_ = std::move(state);
  return err::kSuccess;
}

bool TargetFolder::StillAtPath() const {
  struct stat held, named;
  const int looked = state_ && state_->followed ? stat(state_->native.c_str(), &named)
                                                : lstat(state_->native.c_str(), &named);
  return state_ && fstat(state_->fd, &held) == 0 && looked == 0 && S_ISDIR(named.st_mode) &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

DWORD TargetFolder::FreshName(WString& name) {
  if (!state_) return err::kInvalidHandle;
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string native;
    if (DWORD error = RandomName(native)) return error;
    if (state_->Exists(native)) continue;
    name = FromUtf8(native);
    return err::kSuccess;
  }
  return err::kFileExists;
}

DWORD TargetFolder::CreateStaging(File& file, WString& name) {
  if (!state_) return err::kInvalidHandle;
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string native;
    if (DWORD error = RandomName(native)) return error;
    const int fd = openat(state_->fd, native.c_str(), kCreateFlags, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;  // a name taken already: draw another
      return posix::LastError();
    }
    if (DWORD error = Adopt(fd, native, file)) return error;
    name = FromUtf8(native);
    return err::kSuccess;
  }
  return err::kFileExists;
}

DWORD TargetFolder::CreateExclusive(WStringView name, File& file) {
  if (!state_) return err::kInvalidHandle;
  const std::string native = ToUtf8(name);
  int fd = openat(state_->fd, native.c_str(), kCreateFlags, 0666);
  if (fd < 0 && errno == EEXIST) {
    if (unlinkat(state_->fd, native.c_str(), 0) != 0) return posix::LastError();
    fd = openat(state_->fd, native.c_str(), kCreateFlags, 0666);
  }
  if (fd < 0) return posix::LastError();
  return Adopt(fd, native, file);
}

// Hands the file just created as `native` to `file`; removes it when that fails.
DWORD TargetFolder::Adopt(int fd, const std::string& native, File& file) {
  file.Close();
  if (DWORD error = posix::AdoptCreatedFile(fd, posix::JoinNative(state_->native, native),
                                            kStagingAccess, file.handle_)) {
    unlinkat(state_->fd, native.c_str(), 0);
    return error;
  }
  state_->Remember(native);
  return err::kSuccess;
}

DWORD TargetFolder::Replace(WStringView from, WStringView to) {
  if (!state_) return err::kInvalidHandle;
  const std::string source = ToUtf8(from);
  const std::string target = ToUtf8(to);
  const std::string existing = state_->ExistingSpelling(target);
  if (!existing.empty()) {
    struct stat st;
    // A folder is never replaced (a link to one is: it is an entry like any other).
    if (fstatat(state_->fd, existing.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
      return err::kAccessDenied;
  }
  if (renameat(state_->fd, source.c_str(), state_->fd, target.c_str()) != 0)
    return posix::LastError();
  state_->Forget(source);
  state_->Remember(target);
  // The name takes the caller's spelling; the entry under another case goes.
  if (!existing.empty() && existing != target) {
    if (unlinkat(state_->fd, existing.c_str(), 0) != 0) return posix::LastError();
    state_->Forget(existing);
  }
  return err::kSuccess;
}

DWORD TargetFolder::Remove(WStringView name) {
  if (!state_) return err::kInvalidHandle;
  const std::string existing = state_->ExistingSpelling(ToUtf8(name));
  if (existing.empty()) return err::kFileNotFound;
  if (unlinkat(state_->fd, existing.c_str(), 0) != 0) return posix::LastError();
  state_->Forget(existing);
  return err::kSuccess;
}

}  // namespace orv::os
