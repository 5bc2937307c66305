// Case-insensitive comparison of names as Windows file systems do it: each UTF-16 code
// unit is mapped to upper case, then the units are compared as numbers.
#pragma once

#include "platform/text.h"

namespace orv::os {

// Upper case of one code unit for the Latin, Greek and Cyrillic letters; other units
// are returned unchanged.
Char ToUpper(Char c);

// <0, 0 or >0, comparing upper-cased units ordinally (shorter first on a common prefix).
int CompareNoCase(WStringView a, WStringView b);

// Whether `text` starts with, ends with or holds `part`, ignoring case.
bool StartsWithNoCase(WStringView text, WStringView part);
bool EndsWithNoCase(WStringView text, WStringView part);
bool ContainsNoCase(WStringView text, WStringView part);

}  // namespace orv::os
