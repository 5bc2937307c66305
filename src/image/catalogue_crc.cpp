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
  file_.Discard();
  pending_.clear();
  differential_ = differential;
  DWORD error = file_.Open(path, false);
  if (error == 0) {
    const uint8_t mark[2] = {kUtf16ByteOrderMark & 0xFF, kUtf16ByteOrderMark >> 8};
    error = file_.Write(mark, 2);
    if (error != 0) file_.Discard();
  }
  if (error != 0)
    COrvLog::GetInstance().AddError(ORV_T("CreateFile(%s) failed - %u"), WString(path), error);
  return error;
}

DWORD CrcCatalogueWriter::Append(WStringView name, DWORD marker, uint64_t size, int64_t time) {
  if (!file_.IsOpen()) return err::kInvalidHandle;
  const std::vector<uint8_t> bytes =
      Utf16LeBytes(FormatCrcLine(name, marker, size, time, differential_));
  // A capture adds one line per entry: they go out in large writes.
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  return pending_.size() >= kWriteSize ? WritePending() : err::kSuccess;
}

DWORD CrcCatalogueWriter::WritePending() {
  const DWORD error = file_.Write(pending_.data(), pending_.size());
  pending_.clear();
  return error;
}

DWORD CrcCatalogueWriter::Close() {
  if (!file_.IsOpen()) return err::kSuccess;
  DWORD error = WritePending();
  const DWORD committed = file_.Commit();
  if (error == 0) error = committed;
  if (error != 0)
    COrvLog::GetInstance().AddError(ORV_T("Cannot write %s - %u (%8.8X)"), file_.Target(), error,
                                    error);
  return error;
}

}  // namespace orv
