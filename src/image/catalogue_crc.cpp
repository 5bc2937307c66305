#include "image/catalogue_crc.h"

#include "platform/clock.h"
#include "platform/errors.h"
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

namespace {

void AppendUnsigned(WString& line, uint64_t value) {
  Char digits[20];
  size_t count = 0;
  do {
    digits[count++] = static_cast<Char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) line += digits[--count];
}

void AppendSigned(WString& line, int64_t value) {
  if (value < 0) line += '-';
  AppendUnsigned(line, value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value));
}

}  // namespace

// The whole line is always written, however long the name: a line cut to a buffer
// would lose its end and run into the next one. Built by hand: a catalogue holds a line
// per entry of the volume.
WString FormatCrcLine(WStringView name, DWORD marker, uint64_t size, int64_t time,
                      bool differential) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  WString line;
  line.reserve(name.size() + 52);
  line.append(name);
  line += '=';
  for (int shift = 28; shift >= 0; shift -= 4) line += static_cast<Char>(kHexDigits[(marker >> shift) & 0xF]);
  line += '|';
  if (differential) {
    AppendUnsigned(line, size);
    line += ',';
    AppendUnsigned(line, static_cast<uint64_t>(time));
  } else {
    AppendSigned(line, static_cast<int64_t>(size));
    line += ',';
    AppendSigned(line, time);
  }
  line += ORV_T("\r\n");
  return line;
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
  // A capture adds one line per entry: they go out in large writes, as UTF-16LE.
  const WString line = FormatCrcLine(name, marker, size, time, differential_);
  size_t at = pending_.size();
  pending_.resize(at + 2 * line.size());
  for (const Char unit : line) {
    pending_[at++] = static_cast<uint8_t>(unit & 0xFF);
    pending_[at++] = static_cast<uint8_t>(unit >> 8);
  }
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
