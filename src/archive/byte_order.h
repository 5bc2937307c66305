// Little-endian integers in byte buffers: every integer of an archive is stored so.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orv::archive {

template <typename T>
T LoadLE(const uint8_t* bytes) {
  T value = 0;
  for (size_t i = 0; i < sizeof(T); ++i)
    value = static_cast<T>(value | (static_cast<T>(bytes[i]) << (8 * i)));
  return value;
}

template <typename T>
void StoreLE(uint8_t* bytes, T value) {
  for (size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace orv::archive
