// Whole writes and copies over File: a write that takes fewer bytes than given means a
// full disk, never a silent success.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/errors.h"
#include "platform/file.h"

namespace orv::os {

inline DWORD WriteAll(File& out, const void* bytes, DWORD size) {
  DWORD done = 0;
  if (DWORD error = out.Write(bytes, size, done)) return error;
  return done == size ? err::kSuccess : err::kDiskFull;
}

// Writes `size` bytes at `offset` from the start of the file.
inline DWORD WriteAllAt(File& out, uint64_t offset, const void* bytes, DWORD size) {
  if (DWORD error = out.Seek(static_cast<int64_t>(offset), SeekFrom::kBegin)) return error;
  return WriteAll(out, bytes, size);
}

// Reads what is left of `from`, from its file pointer to its end, in portions of 1 MiB
// and hands each to `write` (bytes, size) -> error code.
template <typename Write>
DWORD ReadToEnd(File& from, Write write) {
  constexpr DWORD kPortion = 1 << 20;
  std::vector<uint8_t> buffer(kPortion);
  for (;;) {
    DWORD done = 0;
    if (DWORD error = from.Read(buffer.data(), kPortion, done)) return error;
    if (done == 0) return err::kSuccess;
    if (DWORD error = write(buffer.data(), done)) return error;
  }
}

// Copies what is left of `from`, from its file pointer to its end, into `to`.
inline DWORD CopyToEnd(File& from, File& to) {
  return ReadToEnd(from, [&](const uint8_t* bytes, DWORD size) { return WriteAll(to, bytes, size); });
}

}  // namespace orv::os
