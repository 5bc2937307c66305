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

DWORD Event::Set() {
  if (handle_ == nullptr) return err::kInvalidHandle;
  return ::SetEvent(handle_) ? err::kSuccess : win32::LastError();
}

DWORD Event::Reset() {
  if (handle_ == nullptr) return err::kInvalidHandle;
  return ::ResetEvent(handle_) ? err::kSuccess : win32::LastError();
}

bool Event::Wait(DWORD milliseconds) {
  return handle_ != nullptr && ::WaitForSingleObject(handle_, milliseconds) == WAIT_OBJECT_0;
}

}  // namespace orv::os
