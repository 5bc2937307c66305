// Little-endian integers in byte buffers (xattr values, reparse data).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orv::os::posix {

template <typename T>
T LoadLittle(const uint8_t* bytes) {
  T value = 0;
  for (size_t i = 0; i < sizeof(T); ++i)
    value |= static_cast<T>(static_cast<T>(bytes[i]) << (8 * i));
  return value;
}

template <typename T>
void AppendLittle(std::vector<uint8_t>& out, T value) {
  for (size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace orv::os::posix
