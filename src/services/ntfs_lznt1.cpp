#include "services/ntfs_lznt1.h"

#include <algorithm>
#include <cstring>

#include "platform/errors.h"
#include "services/ntfs_bytes.h"

namespace orv::ntfs {

namespace {

constexpr size_t kChunkContent = 4096;
constexpr uint16_t kSizeMask = 0x0FFF;
constexpr uint16_t kSignatureMask = 0x7000;
constexpr uint16_t kSignature = 0x3000;
constexpr uint16_t kCompressedBit = 0x8000;

// One compressed chunk body into `out` (room for `room` bytes); `written` receives the
// bytes it gives.
DWORD ExpandChunk(const uint8_t* in, size_t size, uint8_t* out, size_t room, size_t& written) {
  size_t at = 0;
  written = 0;
  while (at < size && written < room) {
    const uint8_t flags = in[at++];
    for (int item = 0; item < 8 && at < size && written < room; ++item) {
      if (!(flags & (1u << item))) {
        out[written++] = in[at++];
        continue;
      }
      if (size - at < 2) return err::kFileCorrupt;
      if (written == 0) return err::kFileCorrupt;  // nothing to refer back to
      const uint16_t token = LoadLE<uint16_t>(in + at);
      at += 2;
      // The more of the chunk is written, the farther a reference may reach back.
      uint16_t lengthMask = kSizeMask;
      int distanceShift = 12;
      for (size_t i = written - 1; i >= 0x10; i >>= 1) {
        lengthMask >>= 1;
        --distanceShift;
      }
      const size_t length = (token & lengthMask) + size_t{3};
      const size_t distance = (token >> distanceShift) + size_t{1};
      if (distance > written) return err::kFileCorrupt;
      // Byte by byte: a reference may overlap what it writes.
      for (size_t n = 0; n < length && written < room; ++n, ++written)
        out[written] = out[written - distance];
    }
  }
  return err::kSuccess;
}

}  // namespace

DWORD DecompressLznt1(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
                      size_t& produced) {
  produced = 0;
  size_t at = 0;
  while (inSize - at >= 2 && produced < outSize) {
    const uint16_t header = LoadLE<uint16_t>(in + at);
    if (header == 0) break;
    if ((header & kSignatureMask) != kSignature) return err::kFileCorrupt;
    const size_t body = (header & kSizeMask) + size_t{1};
    at += 2;
    if (body > inSize - at) return err::kFileCorrupt;
    // A chunk that follows a short one starts at its own 4,096-byte boundary.
    const size_t start = produced;
    const size_t room = std::min(kChunkContent, outSize - start);
    size_t written = 0;
    if (header & kCompressedBit) {
      if (DWORD error = ExpandChunk(in + at, body, out + start, room, written)) return error;
    } else {
      written = std::min(body, room);
      std::memcpy(out + start, in + at, written);
    }
    at += body;
    produced = start + written;
    const bool more = inSize - at >= 2 && LoadLE<uint16_t>(in + at) != 0;
    if (more && written < room) {
      std::memset(out + produced, 0, room - written);
      produced = start + room;
    }
  }
  return err::kSuccess;
}

}  // namespace orv::ntfs
