// Windows file times (100 ns ticks since 1601-01-01 UTC) and POSIX times.
#pragma once

#include <ctime>

#include "platform/file.h"

namespace orv::os::posix {

inline constexpr int64_t kTicksPerSecond = 10'000'000;
// Seconds from 1601-01-01 to 1970-01-01.
inline constexpr int64_t kEpochDifference = 11'644'473'600;

// Times before 1601 cannot be expressed and come back as 0.
inline FileTime ToFileTime(int64_t seconds, int64_t nanoseconds) {
  if (seconds < -kEpochDifference) return 0;
  return static_cast<FileTime>(seconds + kEpochDifference) * kTicksPerSecond +
         static_cast<FileTime>(nanoseconds / 100);
}

inline FileTime ToFileTime(const timespec& time) { return ToFileTime(time.tv_sec, time.tv_nsec); }

inline timespec ToTimespec(FileTime time) {
  timespec result{};
  result.tv_sec =
      static_cast<time_t>(static_cast<int64_t>(time / kTicksPerSecond) - kEpochDifference);
  result.tv_nsec = static_cast<long>(time % kTicksPerSecond * 100);
  return result;
}

}  // namespace orv::os::posix
