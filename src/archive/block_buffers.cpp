#include "archive/block_buffers.h"

#include <algorithm>
#include <new>

#include "archive/format.h"

namespace orv::archive {

bool BlockBuffers::Ensure() {
  try {
    if (!content) content.reset(new uint8_t[kBlockSize]);
    if (!compressed) compressed.reset(new uint8_t[std::max(kMaxLzoBlock, kDeflateOutputSize) + 4]);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace orv::archive
