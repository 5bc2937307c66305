// Whole writes to archive files: a short write is a full disk, never a silent success.
#pragma once

#include <cstdint>

#include "platform/errors.h"
#include "platform/file.h"

namespace orv::archive {

inline DWORD WriteAll(os::File& out, const void* bytes, DWORD size) {
  DWORD done = 0;
  if (DWORD error = out.Write(bytes, size, done)) return error;
  return done == size ? err::kSuccess : err::kDiskFull;
}

// Writes `size` bytes at `offset` from the start of the file.
inline DWORD WriteAllAt(os::File& out, uint64_t offset, const void* bytes, DWORD size) {
  if (DWORD error = out.Seek(static_cast<int64_t>(offset), os::SeekFrom::kBegin)) return error;
  return WriteAll(out, bytes, size);
}

}  // namespace orv::archive
