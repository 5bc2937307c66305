// Events as Win32 event objects; a named one is shared with every process that opens
// the same name.
#include "platform/event.h"

#include "platform/win32/native.h"

namespace orv::os {

Event::~Event() { Close(); }

DWORD Event::Create(WStringView name, bool manualReset, bool initiallySignalled) {
  Close();
  const WString nativeName(name);
  // An event of that name that exists already is opened as it is: the reset mode and
  // the state given here apply only to a new one.
  const HANDLE handle = ::CreateEventW(nullptr, manualReset, initiallySignalled,
                                       name.empty() ? nullptr : nativeName.c_str());
  if (handle == nullptr) return win32::LastError();
  handle_ = handle;
  return err::kSuccess;
}

void Event::Close() {
  if (handle_ != nullptr) {
    ::CloseHandle(handle_);
    handle_ = nullptr;
  }
}

DWORD SetEventHandle(void* handle) {
  if (handle == nullptr) return err::kInvalidHandle;
  return ::SetEvent(handle) ? err::kSuccess : win32::LastError();
}

DWORD Event::Set() { return SetEventHandle(handle_); }

DWORD Event::Reset() {
  if (handle_ == nullptr) return err::kInvalidHandle;
  return ::ResetEvent(handle_) ? err::kSuccess : win32::LastError();
}

bool WaitEventHandle(void* handle, DWORD milliseconds) {
  return handle != nullptr && ::WaitForSingleObject(handle, milliseconds) == WAIT_OBJECT_0;
}

bool Event::Wait(DWORD milliseconds) { return WaitEventHandle(handle_, milliseconds); }

}  // namespace orv::os
