// The deflate streams of versions 1 and 2: one zlib stream per file, fed 1 MiB at a time,
// with the library's own allocation callbacks.
#pragma once

#include <zlib.h>

#include <cstdint>

#include "vantrel/types.h"

namespace orv::archive {

class DeflateStream {
 public:
  DeflateStream() = default;
  ~DeflateStream();
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;

  // Level from the compression option: 0xFFFFFFFF stored, 0 fastest, 1 default, 2 best.
  static int LevelOf(DWORD option);

  // Starts a new stream; one already open at the same level is reset rather than made
  // anew, which spares the allocation and clearing of its tables.
  int Init(int level);
  // Compresses all of `in`; `finish` ends the stream. `produced` is the output; `code`
  // the zlib result. `consumed` tells whether all input was taken.
  int Pass(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize, bool finish,
           uint32_t& produced, bool& consumed);
  int End();

 private:
  z_stream stream_{};
  bool open_ = false;
  int level_ = 0;
};

class InflateStream {
 public:
  InflateStream() = default;
  ~InflateStream();
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;

  int Init();
  // Inflates one block; `ended` when the stream's end was met.
  int Pass(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize, bool finish,
           uint32_t& produced, bool& consumed, bool& ended);

 private:
  z_stream stream_{};
  bool open_ = false;
};

}  // namespace orv::archive
