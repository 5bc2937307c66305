// The system clocks and the conversion between UTC and local file times.
#include "platform/clock.h"

#include "platform/calendar_fields.h"
#include "platform/win32/native.h"

namespace orv::os {

using win32::FromFiletime;
using win32::ToFiletime;

DWORD TickCount() { return ::GetTickCount(); }

FileTime CurrentFileTime() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  return FromFiletime(now);
}

// The conversions refuse only times beyond the calendar; such a time has no other
// reading, so it comes back unchanged.
FileTime FileTimeToLocal(FileTime utc) {
  const FILETIME given = ToFiletime(utc);
  FILETIME local;
  return ::FileTimeToLocalFileTime(&given, &local) ? FromFiletime(local) : utc;
}

FileTime LocalToFileTime(FileTime local) {
  const FILETIME given = ToFiletime(local);
  FILETIME utc;
  return ::LocalFileTimeToFileTime(&given, &utc) ? FromFiletime(utc) : local;
}

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

int64_t LocalCalendarToTimeValue(const CalendarTime& c) {
  std::tm fields = CalendarFields(c);
  fields.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&fields));
}

}  // namespace orv::os
