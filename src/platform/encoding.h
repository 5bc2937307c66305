// Conversion between the library's UTF-16 text and UTF-8 (terminals, Linux file names).
#pragma once

#include <string>

#include "platform/text.h"

namespace orv::os {

// Invalid sequences become U+FFFD.
WString FromUtf8(std::string_view text);
std::string ToUtf8(WStringView text);
// The system's narrow code page, for libraries that take narrow strings: the ANSI code
// page on Windows (characters it lacks become "?"), UTF-8 on Linux.
std::string ToSystemCodePage(WStringView text);

}  // namespace orv::os
