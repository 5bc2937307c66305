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
// The other way, for the narrow strings such a library is given. 1113 when the bytes are
// not text of that code page.
DWORD FromSystemCodePage(std::string_view narrow, WString& text);

}  // namespace orv::os
