// The walk opens each folder once and looks at each entry by its name in that folder:
// the entry's type comes with the folder's listing, so only files are looked at. A
// described partition is counted this way before every capture of it, and a portable
// search would sort each folder and convert every name for nothing.
#include "platform/folder_size.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/posix/path_map.h"

namespace orv::os {

namespace {

// Adds the sizes of the files of the open folder `dir` and queues its subfolders; links
// are not followed.
void CountFolder(DIR* dir, const std::string& native, uint64_t& total,
                 std::vector<std::string>& pending) {
  const int fd = dirfd(dir);
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    unsigned char type = entry->d_type;
    struct stat st {};
    if (type == DT_REG || type == DT_UNKNOWN) {
      if (fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
    }
    if (type == DT_REG) total += static_cast<uint64_t>(st.st_size);
    if (type == DT_DIR) pending.push_back(posix::JoinNative(native, std::string(name)));
  }
}

}  // namespace

uint64_t FolderBytes(WStringView folder) {
  std::string root;
  if (posix::ResolveExisting(folder, root) != 0) return 0;
  uint64_t total = 0;
  std::vector<std::string> pending{root};
  for (bool atRoot = true; !pending.empty(); atRoot = false) {
    const std::string native = std::move(pending.back());
    pending.pop_back();
    // The folder asked about may be reached through a link; none below it is.
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (atRoot ? 0 : O_NOFOLLOW);
    const int fd = open(native.c_str(), flags);
    if (fd < 0) continue;
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
      close(fd);
      continue;
    }
    CountFolder(dir, native, total, pending);
    closedir(dir);
  }
  return total;
}

}  // namespace orv::os
