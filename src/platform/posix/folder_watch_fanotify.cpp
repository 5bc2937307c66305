// The folder watch through fanotify: one mark on each watched tree's file system, which
// reports every entry's folder by its handle and the entry by name. The folder is opened
// from its handle and its present path read back, so that renamed and moved folders need
// no bookkeeping; events outside the trees are dropped. Needs CAP_SYS_ADMIN (and
// CAP_DAC_READ_SEARCH to open handles) and a kernel that reports names (5.9).
#include <fcntl.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/descriptor.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/folder_watch_events.h"
#include "platform/posix/path_map.h"

namespace orv::os::posix {

namespace {

constexpr uint64_t kMarkMask = FAN_CREATE | FAN_DELETE | FAN_MOVED_FROM | FAN_MOVED_TO | FAN_MODIFY |
                               FAN_CLOSE_WRITE | FAN_ATTRIB | FAN_ONDIR;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The path an open descriptor names now; empty when it has none (deleted).
std::string PathOf(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || st.st_nlink == 0) return {};
  char path[PATH_MAX];
  const ssize_t length = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
  if (length <= 0 || length == static_cast<ssize_t>(sizeof path) || path[0] != '/') return {};
  return std::string(path, static_cast<size_t>(length));
}

// Whether folders of this file system can be opened again from their handles, as every
// event needs (the file system must give handles, the process CAP_DAC_READ_SEARCH);
// without it events would be dropped without a word.
bool HandlesOpen(int folder) {
  std::vector<uint64_t> bytes((sizeof(file_handle) + MAX_HANDLE_SZ + 7) / 8);
  auto* handle = reinterpret_cast<file_handle*>(bytes.data());
  handle->handle_bytes = MAX_HANDLE_SZ;
  int mount = 0;
  if (name_to_handle_at(folder, "", handle, &mount, AT_EMPTY_PATH) != 0) return false;
  const int opened = open_by_handle_at(folder, handle, O_PATH | O_CLOEXEC);
  if (opened < 0) return false;
  close(opened);
  return true;
}

struct FanotifyRoot {
  WatchedRoot root;    // `native` as the system spells it now, links resolved
  int fd = -1;         // held open: handles of its file system are opened through it
  fsid_t fsid{};
};

class FanotifyWatch final : public FolderWatch {
 public:
  explicit FanotifyWatch(int fd) : fd_(fd) {}
  ~FanotifyWatch() override {
    for (const FanotifyRoot& root : roots_) close(root.fd);
    close(fd_);
  }

  const char* Mechanism() const override { return "fanotify"; }

  DWORD Add(WStringView folder, WStringView givenRoot, std::vector<FolderEvent>&) override {
    const int fd = open(ToUtf8(folder).c_str(), kFolderFlags);
    if (fd < 0) return LastError();
    FanotifyRoot root{{PathOf(fd), WString(givenRoot)}, fd, {}};
    struct statfs fs {};
    if (root.root.native.empty() || fstatfs(fd, &fs) != 0 || !HandlesOpen(fd) ||
        fanotify_mark(fd_, FAN_MARK_ADD | FAN_MARK_FILESYSTEM, kMarkMask, fd, nullptr) != 0) {
      const DWORD error = root.root.native.empty() ? err::kPathNotFound : LastError();
      close(fd);
      return error;
    }
    root.fsid = fs.f_fsid;
    roots_.push_back(std::move(root));
    return err::kSuccess;
  }

  // Reads at most one buffer of events, so that a busy file system cannot keep the caller
  // from committing what it has.
  DWORD Wait(DWORD milliseconds, std::vector<FolderEvent>& events) override {
    pollfd ready{fd_, POLLIN, 0};
    const int polled = poll(&ready, 1, static_cast<int>(milliseconds));
    if (polled <= 0) return polled == 0 || errno == EINTR ? err::kSuccess : LastError();
    char buffer[64 * 1024];
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got < 0) return errno == EAGAIN || errno == EINTR ? err::kSuccess : LastError();
    // Records follow each other without alignment: each is copied out before it is read.
    for (size_t at = 0; at + sizeof(fanotify_event_metadata) <= static_cast<size_t>(got);) {
      fanotify_event_metadata event;
      std::memcpy(&event, buffer + at, sizeof event);
      if (event.event_len < sizeof event || at + event.event_len > static_cast<size_t>(got)) break;
      if (event.fd >= 0) close(event.fd);  // never given with handle reports; closed if it is
      Take(event, buffer + at, events);
      at += event.event_len;
    }
    return err::kSuccess;
  }

 private:
  void Take(const fanotify_event_metadata& event, const char* record, std::vector<FolderEvent>& events) {
    if (event.mask & FAN_Q_OVERFLOW) {
      for (const FanotifyRoot& root : roots_) events.push_back(EventOf(FolderEvent::Kind::kLost, root.root, {}, true));
      return;
    }
    for (size_t at = event.metadata_len; at + sizeof(fanotify_event_info_header) <= event.event_len;) {
      fanotify_event_info_header header;
      std::memcpy(&header, record + at, sizeof header);
      if (header.len == 0 || at + header.len > event.event_len) return;
      if (header.info_type == FAN_EVENT_INFO_TYPE_DFID_NAME) return TakeNamed(event.mask, record + at, header.len, events);
      at += header.len;
    }
  }

  // One record: the folder's file system and handle, then the entry's name.
  void TakeNamed(uint64_t mask, const char* record, size_t length, std::vector<FolderEvent>& events) {
    constexpr size_t kHandleAt = offsetof(fanotify_event_info_fid, handle);
    if (kHandleAt + sizeof(file_handle) > length) return;
    fsid_t fsid;
    std::memcpy(&fsid, record + offsetof(fanotify_event_info_fid, fsid), sizeof fsid);
    file_handle head;
    std::memcpy(&head, record + kHandleAt, sizeof head);
    const size_t nameAt = kHandleAt + sizeof(file_handle) + head.handle_bytes;
    if (nameAt >= length) return;
    // The handle, aligned for the call that opens it.
    std::vector<uint64_t> handleBytes((sizeof(file_handle) + head.handle_bytes + 7) / 8);
    std::memcpy(handleBytes.data(), record + kHandleAt, sizeof(file_handle) + head.handle_bytes);
    auto* handle = reinterpret_cast<file_handle*>(handleBytes.data());
    const std::string entry(record + nameAt, strnlen(record + nameAt, length - nameAt));
    for (const FanotifyRoot& root : roots_) {
      if (std::memcmp(&root.fsid, &fsid, sizeof fsid) != 0) continue;
      const int folder = open_by_handle_at(root.fd, handle, O_PATH | O_CLOEXEC);
      if (folder < 0) continue;  // the folder is gone: its parent reports it
      const Descriptor opened(folder);
      const std::string path = PathOf(folder);
      if (path.empty()) continue;
      Report(mask, path, entry, events);
      return;
    }
  }

  void Report(uint64_t mask, const std::string& folder, const std::string& entry, std::vector<FolderEvent>& events) {
    const bool isFolder = (mask & FAN_ONDIR) != 0;
    const std::string full = JoinNative(folder, entry);
    for (const FanotifyRoot& root : roots_) {
      const WatchedRoot& tree = root.root;
      if (full == tree.native && (mask & (FAN_DELETE | FAN_MOVED_FROM))) {
        events.push_back(EventOf(FolderEvent::Kind::kRootGone, tree, {}, true));
        continue;
      }
      if (full == tree.native || !NativeWithin(tree.native, full)) continue;
      const std::string relative = full.substr(tree.native == "/" ? 1 : tree.native.size() + 1);
      using Kind = FolderEvent::Kind;
      if (mask & (FAN_CREATE | FAN_MOVED_TO)) events.push_back(EventOf(Kind::kCreated, tree, relative, isFolder));
      if (mask & (FAN_MODIFY | FAN_CLOSE_WRITE)) events.push_back(EventOf(Kind::kWritten, tree, relative, isFolder));
      if (mask & FAN_ATTRIB) events.push_back(EventOf(Kind::kAttributes, tree, relative, isFolder));
      if (mask & (FAN_DELETE | FAN_MOVED_FROM)) events.push_back(EventOf(Kind::kDeleted, tree, relative, isFolder));
    }
  }

  int fd_;
  std::vector<FanotifyRoot> roots_;
};

}  // namespace

DWORD CreateFanotifyWatch(std::unique_ptr<FolderWatch>& watch) {
  const int fd = fanotify_init(FAN_CLASS_NOTIF | FAN_REPORT_DFID_NAME | FAN_CLOEXEC | FAN_NONBLOCK, O_RDONLY);
  if (fd < 0) return LastError();
  watch = std::make_unique<FanotifyWatch>(fd);
  return err::kSuccess;
}

}  // namespace orv::os::posix
