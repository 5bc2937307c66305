// The fields of a calendar time as the C library's time functions take them.
#pragma once

#include <ctime>

#include "platform/clock.h"

namespace orv::os {

inline std::tm CalendarFields(const CalendarTime& c) {
  std::tm fields{};
  fields.tm_year = c.year - 1900;
  fields.tm_mon = c.month - 1;
  fields.tm_mday = c.day;
  fields.tm_hour = c.hour;
  fields.tm_min = c.minute;
  fields.tm_sec = c.second;
  return fields;
}

}  // namespace orv::os
