#include "platform/posix/folder_watch_events.h"

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/metadata.h"
#include "platform/posix/path_map.h"

namespace orv::os::posix {

namespace {

// `relative` below `given` in Windows form; kInvalidName when a name holds "\" (which
// would split it into two names) or is not UTF-8 (which would name another file).
DWORD GivenPath(const WString& given, const std::string& relative, WString& path) {
  path = given;
  if (relative.empty()) return err::kSuccess;
  const WString names = FromUtf8(relative);
  if (!path.empty() && path.back() != '\\') path += '\\';
  for (Char c : names) path += c == '/' ? Char('\\') : c;
  if (relative.find('\\') != std::string::npos || ToUtf8(names) != relative) return err::kInvalidName;
  return err::kSuccess;
}

}  // namespace

std::string JoinRelative(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

FolderEvent EventOf(FolderEvent::Kind kind, const WatchedRoot& root, const std::string& relative,
                    bool isFolder) {
  FolderEvent event;
  event.kind = kind;
  event.isFolder = isFolder;
  const std::string native = relative.empty() ? root.native : JoinNative(root.native, relative);
  event.error = GivenPath(root.given, relative, event.path);
  if (event.error) event.path = FromUtf8(native);
  if (kind != FolderEvent::Kind::kDeleted && kind != FolderEvent::Kind::kRootGone) {
    EntryStat entry;
    event.found = StatPath(native, entry) == 0 && ReadInfo(EntryRef{native}, entry, event.info) == 0;
  }
  return event;
}

}  // namespace orv::os::posix
