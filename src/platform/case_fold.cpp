#include "platform/case_fold.h"

namespace orv::os {

Char ToUpperBeyondAscii(Char c) {
  const unsigned u = c;
  if (u < 0xE0) return c;
  if (u <= 0xFE) return u == 0xF7 ? c : static_cast<Char>(u - 0x20);  // Latin-1
  if (u == 0xFF) return static_cast<Char>(0x178);
  if (u >= 0x100 && u <= 0x17F) {  // Latin Extended-A: pairs, with a few exceptions
    if (u == 0x131) return static_cast<Char>('I');
    if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E))
      return (u & 1) == 0 ? static_cast<Char>(u - 1) : c;
    if (u == 0x130 || u == 0x138 || u == 0x149 || u == 0x17F || u == 0x178) return c;
    return (u & 1) == 1 ? static_cast<Char>(u - 1) : c;
  }
  if (u >= 0x3B1 && u <= 0x3CB && u != 0x3C2) return static_cast<Char>(u - 0x20);  // Greek
  if (u == 0x3C2) return static_cast<Char>(0x3A3);
  if (u >= 0x430 && u <= 0x44F) return static_cast<Char>(u - 0x20);  // Cyrillic
  if (u >= 0x450 && u <= 0x45F) return static_cast<Char>(u - 0x50);
  return c;
}

int CompareNoCase(WStringView a, WStringView b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;  // the same unit needs no folding
    const unsigned x = ToUpper(a[i]), y = ToUpper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

WString FoldedKey(WStringView name) {
  WString key(name);
  for (Char& c : key) c = ToUpper(c);
  return key;
}

bool StartsWithNoCase(WStringView text, WStringView part) {
  return text.size() >= part.size() && CompareNoCase(text.substr(0, part.size()), part) == 0;
}

bool EndsWithNoCase(WStringView text, WStringView part) {
  return text.size() >= part.size() &&
         CompareNoCase(text.substr(text.size() - part.size()), part) == 0;
}

bool ContainsNoCase(WStringView text, WStringView part) {
  if (part.empty()) return true;
  const Char first = ToUpper(part[0]);
  for (size_t i = 0; i + part.size() <= text.size(); ++i)
    if (ToUpper(text[i]) == first && CompareNoCase(text.substr(i, part.size()), part) == 0)
      return true;
  return false;
}

}  // namespace orv::os
