// Conversion between the library's UTF-16 text and UTF-8 (terminals, Linux file names).
#pragma once

#include <string>

#include "platform/text.h"

namespace orv::os {

// Invalid sequences become U+FFFD.
WString FromUtf8(std::string_view text);
std::string ToUtf8(WStringView text);
// The system's narrow code page, for libraries that take narrow strings: the ANSI code
// page on Windows, UTF-8 on Linux. 1113 when a character has no exact equivalent there
// (a look-alike would name another file).
DWORD ToSystemCodePage(WStringView text, std::string& narrow);

}  // namespace orv::os
