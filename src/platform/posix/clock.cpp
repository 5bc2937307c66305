// Clocks. Local time uses the offset from UTC in force now, for every time converted,
// as Windows' FileTimeToLocalFileTime does (so a summer date converted in winter is off
// by the daylight hour, exactly as there).
#include <cerrno>
#include <ctime>

#include "platform/calendar_fields.h"
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

// mktime would read the zone file's status again on every call (glibc does when TZ is not
// set), a system call per converted time in a walk of the volume. localtime_r does not:
// the fields taken as UTC, less the offset in force at the instant that gives, until the
// instant and its offset agree. A time that falls twice (the hour the clocks go back)
// takes the offset in force now when it is one of the two.
int64_t LocalCalendarToTimeValue(const CalendarTime& c) {
  std::tm fields = CalendarFields(c);
  const int64_t asUtc = static_cast<int64_t>(timegm(&fields));
  time_t guess = static_cast<time_t>(asUtc - CurrentBiasTicks() / posix::kTicksPerSecond);
  for (int step = 0; step < 4; ++step) {
    std::tm local{};
    if (localtime_r(&guess, &local) == nullptr) return -1;
    const auto next = static_cast<time_t>(asUtc - local.tm_gmtoff);
    if (next == guess) break;
    guess = next;
  }
  return static_cast<int64_t>(guess);
}

}  // namespace orv::os
