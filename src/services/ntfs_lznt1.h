// LZNT1, the compression of NTFS files: a buffer is a run of chunks, each standing for
// 4,096 bytes of content and starting with a 16-bit header (bits 0-11: body size - 1,
// bits 12-14: 3, bit 15: the body is compressed). A compressed body is groups of a flag
// byte and eight items, each a literal byte or (flag bit set) a 16-bit back reference
// whose split between length and distance widens with the bytes of the chunk so far.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/text.h"

namespace orv::ntfs {

// Decompresses `in` into `out` (at most `outSize` bytes, a whole number of chunks or the
// last, short one); `produced` receives the bytes written. A chunk that gives less than
// 4,096 bytes ahead of another is completed with zeros. Stops at a zero header or at the
// end of the input. 1392 for a reference before the start of its chunk or a broken
// header; never reads or writes outside the buffers.
DWORD DecompressLznt1(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
                      size_t& produced);

}  // namespace orv::ntfs
