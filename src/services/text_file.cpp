#include "services/text_file.h"

#include "platform/errors.h"
#include "platform/file.h"

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

DWORD ReplaceFileContent(WStringView path, const std::vector<uint8_t>& bytes) {
  os::File file;
  DWORD error = file.Open(path, os::kGenericWrite, 0, os::Disposition::kCreateAlways);
  if (error != 0) return error;
  DWORD done = 0;
  if (!bytes.empty() &&
      (error = file.Write(bytes.data(), static_cast<DWORD>(bytes.size()), done)) != 0)
    return error;
  if (done != bytes.size()) return err::kDiskFull;
  return file.Flush();
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

DWORD CreateUtf16TextFile(WStringView path, WStringView text) {
  os::File file;
  DWORD error = file.Open(path, os::kGenericWrite, 0, os::Disposition::kCreateNew);
  if (error != 0) return error;
  std::vector<uint8_t> bytes{kUtf16ByteOrderMark & 0xFF, kUtf16ByteOrderMark >> 8};
  const std::vector<uint8_t> body = Utf16LeBytes(text);
  bytes.insert(bytes.end(), body.begin(), body.end());
  DWORD done = 0;
  if ((error = file.Write(bytes.data(), static_cast<DWORD>(bytes.size()), done)) != 0) return error;
  if (done != bytes.size()) return err::kDiskFull;
  return file.Flush();
}

}  // namespace orv
