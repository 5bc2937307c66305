// Linux keeps no handle table of its own: the descriptors and working folders of every
// process are read from /proc. Another process's descriptor cannot be closed from
// outside, and need not be: Linux removes a folder that others still hold open.
#include "platform/handles.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/path_map.h"

namespace orv::os {

namespace {

std::string LinkTarget(const std::string& link) {
  char target[4096];
  const ssize_t size = ::readlink(link.c_str(), target, sizeof(target) - 1);
  return size < 0 ? std::string() : std::string(target, static_cast<size_t>(size));
}

// Numeric entries of a /proc folder.
std::vector<uint64_t> Numbers(const std::string& folder) {
  std::vector<uint64_t> numbers;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return numbers;
  while (const dirent* entry = ::readdir(dir)) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(entry->d_name, &end, 10);
    if (end != entry->d_name && *end == 0) numbers.push_back(value);
  }
  ::closedir(dir);
  return numbers;
}

}  // namespace

DWORD FindHandlesOnPath(WStringView path, std::vector<HeldHandle>& handles, const FileIdentity*) {
  handles.clear();
  std::string native;
  if (const DWORD error = posix::ResolveExisting(path, native)) return error;
  for (const uint64_t pid : Numbers("/proc")) {
    const std::string base = "/proc/" + std::to_string(pid);
    std::string name;
    std::ifstream(base + "/comm") >> name;
    auto add = [&](uint64_t value) {
      handles.push_back({static_cast<DWORD>(pid), value, FromUtf8(name), FileIdentity{}});
    };
    if (LinkTarget(base + "/cwd") == native) add(UINT64_MAX);  // held as working folder
    for (const uint64_t fd : Numbers(base + "/fd"))
      if (LinkTarget(base + "/fd/" + std::to_string(fd)) == native) add(fd);
  }
  return err::kSuccess;
}

CloseResult CloseHandleInProcess(const HeldHandle&) {
  return CloseResult{CloseStep::kOpenProcess, err::kNotSupported};
}

}  // namespace orv::os
