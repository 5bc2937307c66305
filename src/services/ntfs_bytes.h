// Bounds of on-disk NTFS structures; their little-endian fields are read with LoadLE
// (platform/little_endian.h) once the bounds are checked.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/little_endian.h"

namespace orv::ntfs {

// Whether `size` bytes at `offset` lie within `total` bytes, without wrapping.
inline bool Within(uint64_t offset, uint64_t size, uint64_t total) {
  return offset <= total && size <= total - offset;
}

inline bool IsPowerOfTwo(uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

}  // namespace orv::ntfs
