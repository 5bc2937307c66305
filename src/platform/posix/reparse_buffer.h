// Reparse data in the layout Windows uses (REPARSE_DATA_BUFFER): a tag, the length of
// what follows and, for symbolic links and mount points, two names in one path buffer
// located by byte offsets and lengths. Every length is checked against the buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace orv::os::posix {

struct LinkReparse {
  DWORD tag = 0;  // kReparseTagSymlink or kReparseTagMountPoint
  WString substitute;
  WString print;
  bool relative = false;  // symbolic links: the substitute name is relative to the link
};

// 4392 unless `data` is framed as reparse data: at most 16 KiB, a non-zero tag and a
// length that matches the size exactly.
DWORD CheckReparseData(const std::vector<uint8_t>& data, DWORD& tag);

// Reads a symbolic-link or mount-point buffer that passed CheckReparseData; 4392 when
// its names lie outside the buffer or the substitute name is empty.
DWORD ParseLinkReparse(const std::vector<uint8_t>& data, LinkReparse& link);

// 206 when the names do not fit in 16 KiB.
DWORD BuildLinkReparse(const LinkReparse& link, std::vector<uint8_t>& data);

}  // namespace orv::os::posix
