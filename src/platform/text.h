// Wide text as the core handles it: UTF-16 code units in the platform's wide type.
#pragma once

#include <string>
#include <string_view>

#include "vantrel/types.h"

namespace orv {

using Char = ORVCHAR;
using WString = std::basic_string<Char>;
using WStringView = std::basic_string_view<Char>;

// The two halves of a character beyond U+FFFF.
inline bool IsHighSurrogate(Char c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool IsLowSurrogate(Char c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace orv

// A wide string literal of the platform's wide type: L"..." on Windows, u"..." elsewhere.
#if defined(_WIN32)
#define ORV_T(s) L##s
#else
#define ORV_T(s) u##s
#endif
