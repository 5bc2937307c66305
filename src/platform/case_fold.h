// Case-insensitive comparison of names as Windows file systems do it: each UTF-16 code
// unit is mapped to upper case, then the units are compared as numbers.
#pragma once

#include "platform/text.h"

namespace orv::os {

// Upper case of one code unit beyond ASCII (Latin, Greek and Cyrillic letters); other
// units are returned unchanged.
Char ToUpperBeyondAscii(Char c);

// Upper case of one code unit for the Latin, Greek and Cyrillic letters; other units
// are returned unchanged. ASCII, by far the most frequent in names, is answered here.
inline Char ToUpper(Char c) {
  const unsigned u = c;
  if (u < 0x80) return u >= 'a' && u <= 'z' ? static_cast<Char>(u - 0x20) : c;
  return ToUpperBeyondAscii(c);
}

// <0, 0 or >0, comparing upper-cased units ordinally (shorter first on a common prefix).
int CompareNoCase(WStringView a, WStringView b);

// The name upper-cased: two names compare as CompareNoCase compares them exactly when
// their keys compare ordinally, so a sort of many names folds each once, not per compare.
WString FoldedKey(WStringView name);

// Whether `text` starts with, ends with or holds `part`, ignoring case.
bool StartsWithNoCase(WStringView text, WStringView part);
bool EndsWithNoCase(WStringView text, WStringView part);
bool ContainsNoCase(WStringView text, WStringView part);

}  // namespace orv::os
