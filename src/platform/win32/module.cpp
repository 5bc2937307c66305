// Shared modules: DLLs loaded at run time and the functions they export.
#include "platform/process.h"
#include "platform/win32/native.h"

namespace orv::os {

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
