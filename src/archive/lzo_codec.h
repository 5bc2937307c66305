// LZO1X-1 blocks of versions 5 and 6: at most 1 MiB of content each, compressed on its
// own; decompression is bounded by the 1 MiB output and never trusts the input.
#pragma once

#include <cstdint>
#include <memory>

#include "vantrel/types.h"

namespace orv::archive {

class LzoCodec {
 public:
  enum class Result { kOk, kInitFailed, kFailed, kTooBig };

  // Initialises the library once per process; false when it refuses.
  static bool Init(int& code);

  // Compresses `size` (<= 1 MiB) bytes into out (room for kMaxLzoBlock); `code` is the
  // library's result.
  Result Compress(const uint8_t* in, uint32_t size, uint8_t* out, uint32_t& outSize, int& code);
  // Decompresses one block into out (room for 1 MiB).
  static Result Decompress(const uint8_t* in, uint32_t size, uint8_t* out, uint32_t& outSize,
                           int& code);

 private:
  std::unique_ptr<uint8_t[]> work_;
};

}  // namespace orv::archive
