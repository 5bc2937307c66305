#include "image/catalogue_desc.h"

#include "platform/case_fold.h"
#include "platform/errors.h"
#include "services/format.h"
#include "services/text_file.h"

namespace orv {

namespace {

constexpr size_t kMaxLine = 520;  // characters of the Text line, "Text=" and CR LF included

DWORD WriteText(AtomicFile& file, WStringView text) {
  const std::vector<uint8_t> bytes = Utf16LeBytes(text);
  return file.Write(bytes.data(), bytes.size());
}

}  // namespace

WString DescriptionText(WStringView text, DescriptionKind kind) {
  const size_t limit =
      kind == DescriptionKind::kRecoveryPoint ? kMaxRecoveryPointDescription : kMaxLine - 7;
  WString value(text.substr(0, limit));
  for (Char& c : value)
    if (c == '\r' || c == '\n' || c == 0) c = ' ';
  return value;
}

WString ReadDescriptionText(WStringView path) {
  std::vector<uint8_t> bytes;
  if (ReadWholeFile(path, bytes, 1024 * 1024) != 0) return WString();
  bool inDiff = false;
  for (const WString& line : Utf16LeLines(bytes)) {
    if (!line.empty() && line.front() == '[') {
      inDiff = os::CompareNoCase(line, ORV_T("[Diff]")) == 0;
    } else if (inDiff && line.size() >= 5 &&
               os::CompareNoCase(WStringView(line).substr(0, 5), ORV_T("Text=")) == 0) {
      return line.substr(5, 260);
    }
  }
  return WString();
}

DWORD DescriptionFile::Open(WStringView path, DescriptionKind kind) {
  kind_ = kind;
  DWORD error = file_.Open(path, false);
  if (error != 0) return error;
  const uint8_t mark[2] = {kUtf16ByteOrderMark & 0xFF, kUtf16ByteOrderMark >> 8};
  if ((error = file_.Write(mark, 2)) == 0 && kind == DescriptionKind::kRecoveryPoint)
    error = WriteText(file_, ORV_T("Description File 4.0\r\n\r\n"));
  if (error == 0) error = WriteText(file_, ORV_T("[Diff]\r\n"));
  if (error != 0) file_.Discard();
  return error;
}

DWORD DescriptionFile::Write(WStringView text, const os::CalendarTime& finished, DWORD files,
                             uint64_t size) {
  if (!file_.IsOpen()) return err::kInvalidHandle;
  const WString lines =
      Format(ORV_T("Text=%s\r\n"), DescriptionText(text, kind_)) +
      Format(ORV_T("Time=%.4i%.2i%.2i %.2i:%.2i:%.2i\r\n"), finished.year, finished.month,
             finished.day, finished.hour, finished.minute, finished.second) +
      Format(ORV_T("Files=%u\r\n"), files) + Format(ORV_T("Size=%I64u\r\n"), size);
  return WriteText(file_, lines);
}

DWORD DescriptionFile::Close() {
  if (!file_.IsOpen()) return err::kSuccess;
  return file_.Commit();
}

}  // namespace orv
