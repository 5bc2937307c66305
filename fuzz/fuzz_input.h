// The layout of one fuzz input: a version byte, then the main file, the index file and
// the first part file, each behind a u32 length (the last takes what is left). The seed
// writer of the tests and the fuzz target share it.
#pragma once

#include <cstdint>
#include <string>

namespace orv::fuzz {

struct ArchiveFiles {
  int version = 5;
  std::string main, index, part;
};

inline std::string Pack(const ArchiveFiles& files) {
  const char index = files.version == 1 ? 0 : files.version == 2 ? 1 : files.version == 5 ? 2 : 3;
  std::string out(1, index);
  for (const std::string* file : {&files.main, &files.index}) {
    const uint32_t size = static_cast<uint32_t>(file->size());
    for (int i = 0; i < 4; ++i) out += static_cast<char>(size >> (8 * i));
    out += *file;
  }
  return out + files.part;
}

inline ArchiveFiles Unpack(const uint8_t* data, size_t size) {
  ArchiveFiles files;
  if (size == 0) return files;
  const int versions[] = {1, 2, 5, 6};
  files.version = versions[data[0] % 4];
  size_t at = 1;
  for (std::string* file : {&files.main, &files.index}) {
    uint32_t length = 0;
    for (int i = 0; i < 4 && at < size; ++i, ++at) length |= uint32_t{data[at]} << (8 * i);
    const size_t take = std::min<size_t>(length, size - at);
    file->assign(reinterpret_cast<const char*>(data + at), take);
    at += take;
  }
  files.part.assign(reinterpret_cast<const char*>(data + at), size - at);
  return files;
}

}  // namespace orv::fuzz
