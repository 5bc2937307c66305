// Whole files through deflate blocks (versions 1 and 2): each block a u32 length and
// that many bytes of one zlib stream, one block per MiB of content.
#pragma once

#include <cstdint>

#include "archive/block_buffers.h"
#include "archive/content_sink.h"
#include "platform/file.h"

namespace orv::archive {

// Compresses `size` bytes of `source` to `out` at its file pointer. With a capacity, each
// pass takes at most the remaining capacity as output room and the capacity shrinks by
// that room; a file that does not fit fails with 112 before its stream is cut short.
// `stored` counts the bytes written, length fields included.
DWORD DeflateFile(os::File& source, uint64_t size, os::File& out, int level,
                  uint64_t* remainingCapacity, BlockBuffers& buffers, uint64_t& stored);

// Inflates the blocks of `stored` bytes at the file pointer of `in` into `out`; every
// length is checked against the pass size and what is left of the entry, and content
// beyond `limit` bytes fails before it is written. `written` counts the content bytes.
DWORD InflateFile(os::File& in, uint64_t stored, uint64_t limit, ContentSink& out, BlockBuffers& buffers,
                  uint64_t& written);

}  // namespace orv::archive
