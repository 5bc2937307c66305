// Shared modules: DLLs loaded at run time and the functions they export.
#include "platform/process.h"
#include "platform/win32/native.h"

#include <string>

namespace orv::os {

WString SharedLibraryFileName(WStringView base) { return WString(base) + L".dll"; }

DWORD GetLibraryFolder(WString& folder) {
  HMODULE self = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&GetLibraryFolder), &self))
    return win32::LastError();
  // Long-path forms can exceed MAX_PATH; the buffer grows until the name fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return win32::LastError();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return ERROR_MOD_NOT_FOUND;
  folder.assign(path.begin(), path.begin() + slash);
  return err::kSuccess;
}

Module::~Module() { Unload(); }

DWORD Module::Load(WStringView name) {
  Unload();
  const HMODULE module = ::LoadLibraryW(WString(name).c_str());
  if (module == nullptr) return win32::LastError();
  handle_ = module;
  return err::kSuccess;
}

void Module::Unload() {
  if (handle_ != nullptr) {
    ::FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
  }
}

void* Module::Find(const char* function) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), function));
}

}  // namespace orv::os
