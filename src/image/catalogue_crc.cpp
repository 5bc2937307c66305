#include "image/catalogue_crc.h"

#include "platform/clock.h"
#include "platform/errors.h"
#include "services/format.h"
#include "services/log.h"
#include "services/text_file.h"

namespace orv {

int64_t CrcTimeValue(os::FileTime lastWrite) {
  os::CalendarTime calendar;
  if (!os::FileTimeToCalendar(os::FileTimeToLocal(lastWrite), calendar)) return 0;
  if (calendar.year < 1900 || calendar.day < 1 || calendar.day > 31 || calendar.month < 1 ||
      calendar.month > 12)
    return 0;
  // Times before 1970 have no value on Windows (mktime fails there); they give 0 on
  // every system.
  const int64_t value = os::LocalCalendarToTimeValue(calendar);
  return value < 0 ? 0 : value;
}

// The whole line is always written, however long the name: a line cut to a buffer
// would lose its end and run into the next one.
WString FormatCrcLine(WStringView name, DWORD marker, uint64_t size, int64_t time,
                      bool differential) {
  const WString entry(name);
  return differential ? Format(ORV_T("%s=%8.8X|%I64u,%I64u\r\n"), entry, marker, size, time)
                      : Format(ORV_T("%s=%8.8X|%I64d,%I64d\r\n"), entry, marker, size, time);
}

DWORD CrcCatalogueWriter::Open(WStringView path, bool differential) {
  Close();
  differential_ = differential;
  DWORD error = file_.Open(path, os::kGenericWrite, 0, os::Disposition::kCreateNew);
  if (error == 0) {
    const uint8_t mark[2] = {kUtf16ByteOrderMark & 0xFF, kUtf16ByteOrderMark >> 8};
    DWORD done = 0;
    error = file_.Write(mark, 2, done);
    if (error != 0) file_.Close();
  }
  if (error != 0)
    COrvLog::GetInstance().AddError(ORV_T("CreateFile(%s) failed - %u"), WString(path), error);
  return error;
}

DWORD CrcCatalogueWriter::Append(WStringView name, DWORD marker, uint64_t size, int64_t time) {
  if (!file_.IsOpen()) return err::kInvalidHandle;
  const std::vector<uint8_t> bytes =
      Utf16LeBytes(FormatCrcLine(name, marker, size, time, differential_));
  DWORD done = 0;
  const DWORD error = file_.Write(bytes.data(), static_cast<DWORD>(bytes.size()), done);
  return error != 0 ? error : (done == bytes.size() ? err::kSuccess : err::kDiskFull);
}

void CrcCatalogueWriter::Close() {
  if (!file_.IsOpen()) return;
  file_.Flush();
  file_.Close();
}

}  // namespace orv
