// Shared modules through the dynamic loader. A bare name ("wimgapi.dll") is handed to
// the loader as it is, so its search path applies; a path goes through the mapping.
#include <dlfcn.h>

#include <cstdlib>
#include <string>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/path_map.h"
#include "platform/process.h"

namespace orv::os {

DWORD GetLibraryFolder(WString& folder) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&GetLibraryFolder), &info) == 0 || info.dli_fname == nullptr)
    return err::kModNotFound;
  char* resolved = realpath(info.dli_fname, nullptr);
  if (resolved == nullptr) return err::kModNotFound;
  std::string path = resolved;
  free(resolved);
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
