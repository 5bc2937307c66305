// Little-endian integers in byte buffers: the byte order of every on-disk structure the
// library reads or writes (archives, NTFS records, reparse data, stored metadata),
// whatever the byte order of the machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orv {

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

template <typename T>
void AppendLE(std::vector<uint8_t>& out, T value) {
  for (size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace orv
