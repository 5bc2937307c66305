// Little-endian fields of on-disk NTFS structures. Callers check the bounds first.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orv::ntfs {

template <typename T>
T Load(const uint8_t* bytes) {
  T value = 0;
  for (size_t i = 0; i < sizeof(T); ++i)
    value |= static_cast<T>(static_cast<T>(bytes[i]) << (8 * i));
  return value;
}

// Whether `size` bytes at `offset` lie within `total` bytes, without wrapping.
inline bool Within(uint64_t offset, uint64_t size, uint64_t total) {
  return offset <= total && size <= total - offset;
}

inline bool IsPowerOfTwo(uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

}  // namespace orv::ntfs
