// Events: signalled flags that a worker polls or waits on (the stop event "ImageStop").
#pragma once

#include "platform/text.h"

namespace orv::os {

class Event {
 public:
  Event() = default;
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // Creates or opens the event; events of one name are the same event within a process
  // on every system, and across processes on Windows. An empty name makes a private one.
  DWORD Create(WStringView name, bool manualReset, bool initiallySignalled);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }

  DWORD Set();
  DWORD Reset();
  // True when the event was signalled within `milliseconds` (0 polls). An auto-reset
  // event is reset by a successful wait.
  bool Wait(DWORD milliseconds);

  // The handle another object can be given to signal or wait on this event.
  void* NativeHandle() const { return handle_; }

 private:
  void* handle_ = nullptr;
};

// Signal and wait on an event through a handle that someone else owns (the stop event a
// caller passes in a record): a Windows event handle, or NativeHandle() of an Event.
DWORD SetEventHandle(void* handle);
bool WaitEventHandle(void* handle, DWORD milliseconds);

}  // namespace orv::os
