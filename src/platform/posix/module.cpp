// Shared modules through the dynamic loader. A bare name ("wimgapi.dll") is handed to
// the loader as it is, so its search path applies; a path goes through the mapping.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/path_map.h"
#include "platform/process.h"

namespace orv::os {

namespace {

// The file mapped at `address`, as the kernel names it: always a full path, whatever
// the program was started as (the loader's own name for the main program is its
// argv[0], which a search of PATH leaves relative to no folder the process knows).
std::string MappedFileAt(const void* address) {
  std::ifstream maps("/proc/self/maps");
  const auto at = reinterpret_cast<uintptr_t>(address);
  for (std::string line; std::getline(maps, line);) {
    unsigned long long start = 0, end = 0;
    int nameAt = 0;
    if (std::sscanf(line.c_str(), "%llx-%llx %*s %*s %*s %*s %n", &start, &end, &nameAt) < 2 ||
        nameAt == 0)
      continue;
    if (at < start || at >= end) continue;
    const std::string name = line.substr(static_cast<size_t>(nameAt));
    return !name.empty() && name[0] == '/' ? name : std::string();
  }
  return {};
}

}  // namespace

DWORD GetLibraryFolder(WString& folder) {
  std::string path = MappedFileAt(reinterpret_cast<const void*>(&GetLibraryFolder));
  if (path.empty()) return err::kModNotFound;
  path.erase(path.find_last_of('/'));
  folder = FromUtf8(path.empty() ? "/" : path);
  return err::kSuccess;
}

WString SharedLibraryFileName(WStringView base) {
  return ORV_T("lib") + WString(base) + ORV_T(".so");
}

Module::~Module() { Unload(); }

DWORD Module::Load(WStringView name) {
  Unload();
  if (name.empty() || name.find(Char(0)) != WStringView::npos) return err::kModNotFound;
  std::string file = ToUtf8(name);
  if (posix::IsPathName(name) && posix::ResolveExisting(name, file) != err::kSuccess)
    return err::kModNotFound;
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  return handle_ != nullptr ? err::kSuccess : err::kModNotFound;
}

void Module::Unload() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

void* Module::Find(const char* function) const {
  return handle_ != nullptr ? dlsym(handle_, function) : nullptr;
}

}  // namespace orv::os
