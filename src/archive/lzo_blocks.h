// The LZO blocks of one entry of a version 5 or 6 archive, decompressed in order.
#pragma once

#include <cstdint>

#include "archive/block_buffers.h"
#include "archive/content_sink.h"
#include "archive/format.h"
#include "archive/part_files.h"

namespace orv::archive {

// Reads the entry's blocks from its part and offset through `reader` and decompresses
// each into `target`. The content must come to the size the entry records: more is
// refused before it is written, less fails at the end (1392). `stored` counts the block
// bytes read, without their length fields. The reader is left open after the last
// block, so that the next entry in the same part goes on from there.
DWORD DecompressBlocks(BlockReader& reader, const EntryRecord& record, BlockBuffers& buffers,
                       ContentSink& target, uint64_t& stored);

}  // namespace orv::archive
