// Whole-file reads and writes for the small text files of an image: catalogues, the
// layout file and the disk description. Text files are UTF-16LE with a byte-order mark.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace orv {

// The byte-order mark of UTF-16LE text files, as the 16-bit value that is written.
inline constexpr uint16_t kUtf16ByteOrderMark = 0xFEFF;

// Reads a whole file; files larger than `limit` bytes fail with 8 (not enough memory)
// instead of being trusted with an allocation of their size.
DWORD ReadWholeFile(WStringView path, std::vector<uint8_t>& bytes,
                    uint64_t limit = 256u * 1024 * 1024);

// Replaces the content of a file (creating it when missing).
DWORD ReplaceFileContent(WStringView path, const std::vector<uint8_t>& bytes);

// Creates a new file (80 when it exists already, which leaves it unchanged) holding
// the byte-order mark and `text` as UTF-16LE, without a terminating zero.
DWORD CreateUtf16TextFile(WStringView path, WStringView text);

// The UTF-16LE bytes of `text`, without byte-order mark.
std::vector<uint8_t> Utf16LeBytes(WStringView text);

}  // namespace orv
