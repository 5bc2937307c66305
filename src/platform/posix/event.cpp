// Events. A named event is one object for every handle of this process that names it,
// kept in a registry while any handle holds it; across processes names are not shared
// on Linux.
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

#include "platform/errors.h"
#include "platform/event.h"

namespace orv::os {

namespace {

// Windows' INFINITE timeout.
constexpr DWORD kWaitForever = 0xFFFFFFFF;

struct EventState {
  std::mutex mutex;
  std::condition_variable signalled;
  bool manualReset = false;
  bool set = false;
};

using EventHandle = std::shared_ptr<EventState>;

class NamedEvents {
 public:
  static NamedEvents& Instance() {
    static NamedEvents registry;
    return registry;
  }

  EventHandle Open(const WString& name, bool manualReset, bool initiallySignalled) {
    std::lock_guard lock(mutex_);
    if (!name.empty()) {
      auto found = events_.find(name);
      if (found != events_.end())
        if (EventHandle existing = found->second.lock()) return existing;
    }
    auto state = std::make_shared<EventState>();
    state->manualReset = manualReset;
    state->set = initiallySignalled;
    if (!name.empty()) events_[name] = state;
    return state;
  }

  // Drops a handle; the name is forgotten with its last handle.
  void Close(EventHandle& handle) {
    std::lock_guard lock(mutex_);
    handle.reset();
    std::erase_if(events_, [](const auto& entry) { return entry.second.expired(); });
  }

 private:
  std::mutex mutex_;
  std::map<WString, std::weak_ptr<EventState>> events_;
};

EventHandle* HandleOf(void* handle) { return static_cast<EventHandle*>(handle); }

}  // namespace

Event::~Event() { Close(); }

DWORD Event::Create(WStringView name, bool manualReset, bool initiallySignalled) {
  Close();
  handle_ =
      new EventHandle(NamedEvents::Instance().Open(WString(name), manualReset, initiallySignalled));
  return err::kSuccess;
}

void Event::Close() {
  if (handle_ == nullptr) return;
  NamedEvents::Instance().Close(*HandleOf(handle_));
  delete HandleOf(handle_);
  handle_ = nullptr;
}

DWORD SetEventHandle(void* handle) {
  if (handle == nullptr) return err::kInvalidHandle;
  EventState& state = **HandleOf(handle);
  {
    std::lock_guard lock(state.mutex);
    state.set = true;
  }
  // A manual-reset event releases every waiter; an auto-reset one releases one.
  if (state.manualReset)
    state.signalled.notify_all();
  else
    state.signalled.notify_one();
  return err::kSuccess;
}

DWORD Event::Set() { return SetEventHandle(handle_); }

DWORD Event::Reset() {
  if (handle_ == nullptr) return err::kInvalidHandle;
  EventState& state = **HandleOf(handle_);
  std::lock_guard lock(state.mutex);
  state.set = false;
  return err::kSuccess;
}

bool WaitEventHandle(void* handle, DWORD milliseconds) {
  if (handle == nullptr) return false;
  EventState& state = **HandleOf(handle);
  std::unique_lock lock(state.mutex);
  const auto isSet = [&] { return state.set; };
  // A poll (the stop event, asked after every file of a capture) only looks.
  if (milliseconds == 0) {
    if (!state.set) return false;
  } else if (milliseconds == kWaitForever)
    state.signalled.wait(lock, isSet);
  else if (!state.signalled.wait_for(lock, std::chrono::milliseconds(milliseconds), isSet))
    return false;
  if (!state.manualReset) state.set = false;
  return true;
}

bool Event::Wait(DWORD milliseconds) { return WaitEventHandle(handle_, milliseconds); }

}  // namespace orv::os
