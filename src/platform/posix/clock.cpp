// Clocks. Local time uses the offset from UTC in force now, for every time converted,
// as Windows' FileTimeToLocalFileTime does (so a summer date converted in winter is off
// by the daylight hour, exactly as there).
#include <cerrno>
#include <ctime>

#include "platform/clock.h"
#include "platform/posix/file_time.h"

namespace orv::os {

namespace {

int64_t CurrentBiasTicks() {
  const time_t now = time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return static_cast<int64_t>(local.tm_gmtoff) * posix::kTicksPerSecond;
}

// Shifts a file time, keeping the result inside the range of file times.
FileTime Shift(FileTime time, int64_t ticks) {
  if (ticks < 0 && time < static_cast<uint64_t>(-ticks)) return 0;
  return time + static_cast<uint64_t>(ticks);
}

}  // namespace

DWORD TickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t milliseconds = static_cast<uint64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
  return static_cast<DWORD>(milliseconds);
}

FileTime CurrentFileTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return posix::ToFileTime(now);
}

FileTime FileTimeToLocal(FileTime utc) { return Shift(utc, CurrentBiasTicks()); }

FileTime LocalToFileTime(FileTime local) { return Shift(local, -CurrentBiasTicks()); }

void Sleep(DWORD milliseconds) {
  timespec wait{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

}  // namespace orv::os
