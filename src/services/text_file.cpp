#include "services/text_file.h"

#include "platform/errors.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "services/format.h"

namespace orv {

DWORD ReadWholeFile(WStringView path, std::vector<uint8_t>& bytes, uint64_t limit) {
  bytes.clear();
  os::File file;
  DWORD error = file.Open(path, os::kGenericRead, os::kShareRead | os::kShareWrite,
                          os::Disposition::kOpenExisting);
  if (error != 0) return error;
  uint64_t size = 0;
  if ((error = file.Size(size)) != 0) return error;
  if (size > limit) return err::kNotEnoughMemory;
  bytes.resize(static_cast<size_t>(size));
  DWORD done = 0;
  if (size != 0 && (error = file.Read(bytes.data(), static_cast<DWORD>(size), done)) != 0)
    return error;
  bytes.resize(done);
  return err::kSuccess;
}

AtomicFile::~AtomicFile() { Discard(); }

DWORD AtomicFile::Open(WStringView target, bool replace) {
  Discard();
  target_ = WString(target);
  replace_ = replace;
  failure_ = err::kSuccess;
  DWORD attributes = 0;
  if (!replace && os::GetAttributes(target_, attributes) == 0) return err::kFileExists;
  // A name of its own, created new: a file or link planted beside the target is never
  // written through.
  const uint64_t stamp = os::CurrentFileTime();
  DWORD error = err::kSuccess;
  for (DWORD attempt = 0; attempt < 16; ++attempt) {
    temporary_ = target_ + Format(ORV_T(".%u.new"), static_cast<DWORD>(stamp / 10000) + attempt);
    error = file_.Open(temporary_, os::kGenericWrite, 0, os::Disposition::kCreateNew);
    if (error != err::kFileExists && error != err::kAlreadyExists) break;
  }
  if (error) temporary_.clear();
  return error;
}

DWORD AtomicFile::Write(const void* bytes, size_t size) {
  if (failure_) return failure_;
  if (!file_.IsOpen()) return err::kInvalidHandle;
  const auto* data = static_cast<const uint8_t*>(bytes);
  while (size != 0) {
    const DWORD portion = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD done = 0;
    if (DWORD error = file_.Write(data, portion, done)) return failure_ = error;
    if (done != portion) return failure_ = err::kDiskFull;
    data += portion;
    size -= portion;
  }
  return err::kSuccess;
}

DWORD AtomicFile::Commit() {
  if (!file_.IsOpen()) return failure_ ? failure_ : err::kInvalidHandle;
  DWORD error = failure_;
  if (!error) error = file_.Flush();
  file_.Close();
  if (!error) error = os::MoveFile(temporary_, target_, replace_);
  if (error == err::kAlreadyExists) error = err::kFileExists;
  // The new name itself must survive a power loss, not only the bytes behind it.
  if (!error) error = os::FlushFolderOf(target_);
  if (error) {
    os::DeleteFile(temporary_);
    failure_ = error;
  }
  temporary_.clear();
  return error;
}

void AtomicFile::Discard() {
  file_.Close();
  if (!temporary_.empty()) os::DeleteFile(temporary_);
  temporary_.clear();
}

DWORD ReplaceFileContent(WStringView path, const std::vector<uint8_t>& bytes) {
  AtomicFile file;
  if (DWORD error = file.Open(path, true)) return error;
  file.Write(bytes.data(), bytes.size());
  return file.Commit();
}

std::vector<uint8_t> Utf16LeBytes(WStringView text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (const Char c : text) {
    const auto unit = static_cast<uint16_t>(c);
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return bytes;
}

std::vector<WString> Utf16LeLines(const std::vector<uint8_t>& bytes) {
  std::vector<WString> lines(1);
  const size_t start = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE ? 2 : 0;
  for (size_t i = start; i + 1 < bytes.size(); i += 2) {
    const Char c = static_cast<Char>(bytes[i] | (bytes[i + 1] << 8));
    if (c == '\n') lines.emplace_back();
    else if (c != '\r') lines.back() += c;
  }
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

DWORD CreateUtf16TextFile(WStringView path, WStringView text) {
  AtomicFile file;
  if (DWORD error = file.Open(path, false)) return error;
  const uint8_t mark[2] = {kUtf16ByteOrderMark & 0xFF, kUtf16ByteOrderMark >> 8};
  file.Write(mark, 2);
  const std::vector<uint8_t> body = Utf16LeBytes(text);
  file.Write(body.data(), body.size());
  return file.Commit();
}

}  // namespace orv
