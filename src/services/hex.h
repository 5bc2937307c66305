// Hexadecimal digits in the library's text files (type bytes, attribute masks).
#pragma once

#include "platform/text.h"

namespace orv {

// The value of one hexadecimal digit of either case; -1 for any other character.
inline int HexDigitValue(Char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace orv
