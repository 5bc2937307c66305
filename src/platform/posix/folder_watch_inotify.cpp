// The folder watch through inotify: one watch per folder of each tree. Folders are
// opened one level at a time relative to their open parent, never following a link, and
// each watch is set on the open folder itself (through /proc/self/fd), so that a link
// put in a folder's place can never bring a folder outside the tree under watch.
#include "platform/folder_watch.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <optional>
#include <string>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/descriptor.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/folder_watch_events.h"
#include "platform/posix/path_map.h"

namespace orv::os::posix {

namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM |
                                IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                                IN_EXCL_UNLINK;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// A watched folder: its tree and its path below the tree's folder ("" for the folder).
struct Watched {
  size_t root = 0;
  std::string relative;
};

class InotifyWatch final : public FolderWatch {
 public:
  explicit InotifyWatch(int fd) : fd_(fd) {}
  ~InotifyWatch() override { close(fd_); }

  const char* Mechanism() const override { return "inotify"; }

  DWORD Add(WStringView folder, WStringView givenRoot, std::vector<FolderEvent>& unwatched) override {
    std::string native = ToUtf8(folder);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    const int fd = open(native.c_str(), kFolderFlags);
    if (fd < 0) return LastError();
    Descriptor opened(fd);
    roots_.push_back(WatchedRoot{native, WString(givenRoot)});
    const size_t root = roots_.size() - 1;
    if (const DWORD error = WatchOpened(opened.get(), root, {})) return error;
    WatchBelow(opened.get(), root, {}, unwatched);
    return err::kSuccess;
  }

  // Reads at most one buffer of events, so that a busy tree cannot keep the caller from
  // committing what it has.
  DWORD Wait(DWORD milliseconds, std::vector<FolderEvent>& events) override {
    pollfd ready{fd_, POLLIN, 0};
    const int polled = poll(&ready, 1, static_cast<int>(milliseconds));
    if (polled < 0) return errno == EINTR ? err::kSuccess : LastError();
    alignas(inotify_event) char buffer[64 * 1024];
    const ssize_t got = polled == 0 ? -1 : read(fd_, buffer, sizeof buffer);
    if (got < 0) {
      const int failure = polled == 0 ? EAGAIN : errno;
      // Nothing more is queued: a folder moved away has gone out of the trees.
      ForgetMovedAway();
      return failure == EAGAIN || failure == EINTR ? err::kSuccess : ErrnoToWindows(failure);
    }
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      Take(*event, events);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    return err::kSuccess;
  }

 private:
  // Sets the watch on the open folder `fd`; a folder watched already (moved within the
  // tree, or watched again after lost events) keeps its watch under its new path.
  DWORD WatchOpened(int fd, size_t root, const std::string& relative) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const int wd = inotify_add_watch(fd_, self.c_str(), kWatchMask);
    if (wd < 0) return LastError();
    watched_[wd] = Watched{root, relative};
    return err::kSuccess;
  }

  // Watches every folder below the open folder `fd`, not entering links.
  void WatchBelow(int fd, size_t root, const std::string& relative, std::vector<FolderEvent>& unwatched) {
    const int listed = openat(fd, ".", kFolderFlags);
    if (listed < 0) return Unwatched(root, relative, LastError(), unwatched);
    DIR* dir = fdopendir(listed);
    if (dir == nullptr) {
      close(listed);
      return Unwatched(root, relative, LastError(), unwatched);
    }
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == ".." || (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN)) continue;
      const int child = openat(fd, name.c_str(), kFolderFlags);
      if (child < 0) {
        if (errno != ENOTDIR && errno != ELOOP && errno != ENOENT)
          Unwatched(root, JoinRelative(relative, name), LastError(), unwatched);
        continue;
      }
      Descriptor opened(child);
      const std::string path = JoinRelative(relative, name);
      if (const DWORD error = WatchOpened(child, root, path)) {
        Unwatched(root, path, error, unwatched);
        continue;
      }
      WatchBelow(child, root, path, unwatched);
    }
    closedir(dir);
  }

  // Watches a folder that appeared in the tree, with everything below it.
  void WatchNew(size_t root, const std::string& relative, std::vector<FolderEvent>& events) {
    const int fd = open(JoinNative(roots_[root].native, relative).c_str(), kFolderFlags);
    if (fd < 0) return;  // gone again, or a link: nothing to watch
    Descriptor opened(fd);
    if (const DWORD error = WatchOpened(fd, root, relative)) return Unwatched(root, relative, error, events);
    WatchBelow(fd, root, relative, events);
  }

  // Forgets the watches of a folder deleted or moved away, with the folders below it.
  void ForgetBelow(size_t root, const std::string& relative) {
    for (auto it = watched_.begin(); it != watched_.end();) {
      if (it->second.root == root && NativeWithin(relative, it->second.relative)) {
        inotify_rm_watch(fd_, it->first);
        it = watched_.erase(it);
      } else {
        ++it;
      }
    }
  }

  // A folder moved out of the trees: its watches would report its entries under the old
  // path.
  void ForgetMovedAway() {
    if (moved_) ForgetBelow(moved_->root, moved_->relative);
    moved_.reset();
  }

  void Unwatched(size_t root, const std::string& relative, DWORD error, std::vector<FolderEvent>& out) {
    FolderEvent event = EventOf(FolderEvent::Kind::kLost, roots_[root], relative, true);
    if (event.error == 0) event.error = error;
    out.push_back(std::move(event));
  }

  void Take(const inotify_event& raw, std::vector<FolderEvent>& events) {
    // The kernel queues the two halves of a rename one after the other.
    if (moved_ && !((raw.mask & IN_MOVED_TO) && raw.cookie == moved_->cookie)) ForgetMovedAway();
    if (raw.mask & IN_Q_OVERFLOW) return Overflowed(events);
    const auto it = watched_.find(raw.wd);
    if (it == watched_.end()) return;
    const Watched folder = it->second;
    if (raw.mask & IN_IGNORED) {
      watched_.erase(it);
      return;
    }
    if (raw.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
      if (folder.relative.empty()) Report(FolderEvent::Kind::kRootGone, folder.root, {}, true, events);
      return;
    }
    if (raw.len == 0) return;  // events of the folder itself are reported by its parent
    const std::string relative = JoinRelative(folder.relative, raw.name);
    const bool isFolder = (raw.mask & IN_ISDIR) != 0;
    if (raw.mask & (IN_DELETE | IN_MOVED_FROM)) {
      if (isFolder && (raw.mask & IN_MOVED_FROM)) {
        moved_ = Moved{raw.cookie, folder.root, relative};
      } else if (isFolder) {
        ForgetBelow(folder.root, relative);
      }
      Report(FolderEvent::Kind::kDeleted, folder.root, relative, isFolder, events);
    } else if (raw.mask & (IN_CREATE | IN_MOVED_TO)) {
      Report(FolderEvent::Kind::kCreated, folder.root, relative, isFolder, events);
      // A folder renamed within the trees keeps its watches: watched again, they report
      // under the new path, events already queued for its entries too.
      if (moved_ && (raw.mask & IN_MOVED_TO) && moved_->cookie == raw.cookie) moved_.reset();
      if (isFolder) WatchNew(folder.root, relative, events);
    } else if (raw.mask & (IN_MODIFY | IN_CLOSE_WRITE)) {
      Report(FolderEvent::Kind::kWritten, folder.root, relative, isFolder, events);
    } else if (raw.mask & IN_ATTRIB) {
      Report(FolderEvent::Kind::kAttributes, folder.root, relative, isFolder, events);
    }
  }

  // The kernel's queue overflowed: every tree may have changed anywhere, and folders made
  // meanwhile have no watch yet.
  void Overflowed(std::vector<FolderEvent>& events) {
    for (size_t root = 0; root < roots_.size(); ++root) {
      Report(FolderEvent::Kind::kLost, root, {}, true, events);
      const int fd = open(roots_[root].native.c_str(), kFolderFlags);
      if (fd < 0) continue;
      Descriptor opened(fd);
      WatchBelow(fd, root, {}, events);
    }
  }

  void Report(FolderEvent::Kind kind, size_t root, const std::string& relative, bool isFolder,
              std::vector<FolderEvent>& events) {
    events.push_back(EventOf(kind, roots_[root], relative, isFolder));
  }

  // A folder moved away, until the event that says where to (same cookie) is read.
  struct Moved {
    uint32_t cookie = 0;
    size_t root = 0;
    std::string relative;
  };

  int fd_;
  std::vector<WatchedRoot> roots_;
  std::map<int, Watched> watched_;
  std::optional<Moved> moved_;
};

}  // namespace

DWORD CreateInotifyWatch(std::unique_ptr<FolderWatch>& watch) {
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return LastError();
  watch = std::make_unique<InotifyWatch>(fd);
  return err::kSuccess;
}

}  // namespace orv::os::posix
