// Reparse points (mount points, symbolic links and others) as raw reparse data, read and
// written through the file-system controls on a handle to the item itself.
#include <cstring>
#include <utility>

#include "platform/file.h"
#include "platform/win32/native.h"

namespace orv::os {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kItemFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

// Tag (4 bytes), data length (2), reserved (2). Tags without the top bit (not the
// system's own kinds) also carry a 16-byte GUID before the data.
constexpr size_t kHeaderSize = 8;
constexpr size_t kGuidHeaderSize = kHeaderSize + 16;
constexpr DWORD kSystemTagBit = 0x80000000;

// Whether `data` is one whole reparse buffer: the length it declares is the length it has.
bool IsWholeReparseBuffer(const std::vector<uint8_t>& data) {
  if (data.size() < kHeaderSize || data.size() > kMaxReparseDataSize) return false;
  uint32_t tag;
  uint16_t declared;
  std::memcpy(&tag, data.data(), sizeof tag);
  std::memcpy(&declared, data.data() + sizeof tag, sizeof declared);
  const size_t header = (tag & kSystemTagBit) != 0 ? kHeaderSize : kGuidHeaderSize;
  return data.size() == header + declared;
}

}  // namespace

DWORD GetReparseData(WStringView path, std::vector<uint8_t>& data) {
  File item;
  if (const DWORD error =
          item.Open(path, FILE_READ_ATTRIBUTES, kShareAll, Disposition::kOpenExisting, kItemFlags))
    return error;
  std::vector<uint8_t> buffer(kMaxReparseDataSize);
  DWORD returned = 0;
  if (!::DeviceIoControl(item.NativeHandle(), FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                         static_cast<DWORD>(buffer.size()), &returned, nullptr))
    return win32::LastError();
  buffer.resize(returned);
  data = std::move(buffer);
  return err::kSuccess;
}

DWORD SetReparseData(WStringView path, const std::vector<uint8_t>& data) {
  if (!IsWholeReparseBuffer(data)) return err::kInvalidReparseData;
  File item;
  if (const DWORD error =
          item.Open(path, GENERIC_WRITE, kShareAll, Disposition::kOpenExisting, kItemFlags))
    return error;
  DWORD returned = 0;
  if (!::DeviceIoControl(item.NativeHandle(), FSCTL_SET_REPARSE_POINT,
                         const_cast<uint8_t*>(data.data()), static_cast<DWORD>(data.size()),
                         nullptr, 0, &returned, nullptr))
    return win32::LastError();
  return err::kSuccess;
}

}  // namespace orv::os
