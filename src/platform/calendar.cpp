// Calendar arithmetic shared by both backends: file times are a count of 100 ns ticks
// since 1601-01-01 UTC, converted with the proleptic Gregorian calendar.

#include "platform/clock.h"

namespace orv::os {

namespace {

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsPerDay = 86'400;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kDays1601To1970 = 134'774;

// Days since 1970-01-01 of a civil date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

}  // namespace

bool FileTimeToCalendar(FileTime time, CalendarTime& calendar) {
  // Windows refuses file times with the top bit set.
  if (time >= 0x8000000000000000ULL) return false;
  const uint64_t seconds = time / kTicksPerSecond;
  const int64_t days = static_cast<int64_t>(seconds / kSecondsPerDay) - kDays1601To1970;
  const uint64_t secondOfDay = seconds % kSecondsPerDay;
  int64_t year;
  unsigned month, day;
  CivilFromDays(days, year, month, day);
  if (year > 30827) return false;
  calendar.year = static_cast<uint16_t>(year);
  calendar.month = static_cast<uint16_t>(month);
  calendar.day = static_cast<uint16_t>(day);
  // 1601-01-01 was a Monday.
  calendar.dayOfWeek = static_cast<uint16_t>((days + kDays1601To1970 + 1) % 7);
  calendar.hour = static_cast<uint16_t>(secondOfDay / 3600);
  calendar.minute = static_cast<uint16_t>(secondOfDay / 60 % 60);
  calendar.second = static_cast<uint16_t>(secondOfDay % 60);
  calendar.milliseconds = static_cast<uint16_t>(time % kTicksPerSecond / 10'000);
  return true;
}

bool CalendarToFileTime(const CalendarTime& c, FileTime& time) {
  if (c.year < 1601 || c.year > 30827 || c.month < 1 || c.month > 12 || c.day < 1 ||
      c.hour > 23 || c.minute > 59 || c.second > 59 || c.milliseconds > 999)
    return false;
  static constexpr unsigned kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (c.year % 4 == 0 && c.year % 100 != 0) || c.year % 400 == 0;
  if (c.day > kDaysInMonth[c.month - 1] + (c.month == 2 && leap ? 1 : 0)) return false;
  const int64_t days = DaysFromCivil(c.year, c.month, c.day) + kDays1601To1970;
  const uint64_t seconds = static_cast<uint64_t>(days) * kSecondsPerDay + c.hour * 3600u +
                           c.minute * 60u + c.second;
  time = seconds * kTicksPerSecond + c.milliseconds * 10'000ULL;
  return true;
}

}  // namespace orv::os
