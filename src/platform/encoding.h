// Conversion between the library's UTF-16 text and UTF-8 (terminals, Linux file names).
#pragma once

#include <string>

#include "platform/text.h"

namespace orv::os {

// Invalid sequences become U+FFFD.
WString FromUtf8(std::string_view text);
std::string ToUtf8(WStringView text);

}  // namespace orv::os
