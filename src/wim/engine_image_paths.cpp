// Paths and times of image entries as wimlib lists them.
#if !defined(_WIN32)
#include "wim/engine_state.h"

namespace orv::wim::linux_engine {

namespace {

constexpr int64_t kUnixEpochSeconds = 11644473600;  // 1601-01-01 to 1970-01-01

}  // namespace

bool ImagePathBelow(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/';
}

bool IsPlainImagePath(const std::string& path) {
  if (path == "/") return true;
  size_t start = path.starts_with('/') ? 1 : 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string_view name(path.data() + start, end - start);
    if (name.empty() || name == "." || name == ".." || name.find('\\') != name.npos)
      return false;
    start = end + 1;
  }
  return true;
}

os::FileTime FileTimeOf(const lib::Timespec& time) {
  return uint64_t(time.tv_sec + kUnixEpochSeconds) * 10000000u + uint64_t(time.tv_nsec) / 100;
}

}  // namespace orv::wim::linux_engine
#endif
