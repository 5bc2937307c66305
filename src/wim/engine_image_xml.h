// The image information of the Linux engine: wimlib keeps the XML document of a WIM
// (UTF-16LE) and changes it one property at a time; the WIM interface hands out and
// takes XML blocks (UTF-16LE with a byte-order mark).
#pragma once

#if !defined(_WIN32)
#include <string>
#include <utility>
#include <vector>

#include "vantrel/types.h"

namespace orv::wim {

// The block for a WIM's whole document (`image` 0) or for one of its IMAGE elements.
// 13 (invalid data) when the document cannot be read or has no such image.
DWORD ImageInformationBlock(const void* document, size_t size, DWORD image,
                            std::vector<BYTE>& block);

// The properties an IMAGE block sets, as wimlib names them: the paths of its text
// elements below IMAGE ("NAME", "WINDOWS/VERSION/BUILD"); a repeated element gets its
// position ("WINDOWS/LANGUAGES/LANGUAGE[2]"). 13 when the block is not such XML.
DWORD ImageProperties(const void* block, size_t size,
                      std::vector<std::pair<std::string, std::string>>& properties);

}  // namespace orv::wim
#endif
