#include "platform/posix/partition_space.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "platform/encoding.h"
#include "platform/folder_size.h"
#include "platform/posix/path_map.h"
#include "platform/posix/volume_table.h"

namespace orv::os::posix {

namespace {

// A folder on another device than its parent is mounted there; "/" is its own parent.
// A folder that cannot be examined counts as mounted, so that statvfs answers for it.
bool IsMountPoint(const std::string& folder) {
  struct stat self {}, parent {};
  if (stat(folder.c_str(), &self) != 0 || stat(JoinNative(folder, "..").c_str(), &parent) != 0)
    return true;
  return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

// Walking a large tree on every query would slow down everything that asks for the
// space (every archive opened asks), so each folder is counted once; queries for
// other folders meanwhile neither wait nor count it again.
uint64_t CountedFolderBytes(const std::string& folder) {
  struct Count {
    std::once_flag once;
    uint64_t bytes = 0;
  };
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<Count>> counts;
  std::shared_ptr<Count> count;
  {
    std::lock_guard lock(mutex);
    std::shared_ptr<Count>& slot = counts[folder];
    if (!slot) slot = std::make_shared<Count>();
    count = slot;
  }
  std::call_once(count->once, [&] { count->bytes = FolderBytes(FromUtf8(folder)); });
  return count->bytes;
}

}  // namespace

std::optional<VolumeSpace> PartitionSpace(const std::string& native, const VolumeSpace& host) {
  const std::optional<DriveMatch> drive = DriveHolding(native);
  if (!drive || drive->size == 0 || IsMountPoint(drive->folder)) return std::nullopt;
  const uint64_t used = CountedFolderBytes(drive->folder);
  VolumeSpace space;
  space.total = drive->size;
  space.free = drive->size > used ? drive->size - used : 0;
  space.freeToCaller = std::min(space.free, host.freeToCaller);
  return space;
}

}  // namespace orv::os::posix
