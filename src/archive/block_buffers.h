// The buffers of block compression and decompression, taken once per archive object
// and reused for every file: the content of one block and the room for its output.
#pragma once

#include <cstdint>
#include <memory>

#include "archive/deflate_stream.h"
#include "archive/lzo_codec.h"

namespace orv::archive {

struct BlockBuffers {
  // False when the memory cannot be had.
  bool Ensure();

  std::unique_ptr<uint8_t[]> content;     // one block of file content (1 MiB)
  std::unique_ptr<uint8_t[]> compressed;  // a length field and the largest compressed block
  LzoCodec lzo;
  // One compressor for every entry: setting one up costs more than a small file's data.
  DeflateStream deflate;
};

}  // namespace orv::archive
