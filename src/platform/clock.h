// Clocks and the conversions between file times, local time and calendar fields.
#pragma once

#include <cstdint>

#include "platform/file.h"

namespace orv::os {

// Calendar fields with the meaning of the Windows SYSTEMTIME record.
struct CalendarTime {
  uint16_t year = 0;
  uint16_t month = 0;      // 1..12
  uint16_t dayOfWeek = 0;  // 0 = Sunday
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
};

// Milliseconds since the system started; wraps after 49.7 days like GetTickCount.
DWORD TickCount();

// Pauses the calling thread.
void Sleep(DWORD milliseconds);

FileTime CurrentFileTime();

// UTC file time to local file time and back, with the bias in force now (as Windows does).
FileTime FileTimeToLocal(FileTime utc);
FileTime LocalToFileTime(FileTime local);

// File time to calendar fields and back; false for a time outside the calendar.
bool FileTimeToCalendar(FileTime time, CalendarTime& calendar);
bool CalendarToFileTime(const CalendarTime& calendar, FileTime& time);

// Seconds since 1970 of the local calendar fields, with daylight saving time left to
// the library to decide (mktime with tm_isdst = -1); -1 when they cannot be represented.
int64_t LocalCalendarToTimeValue(const CalendarTime& calendar);

}  // namespace orv::os
