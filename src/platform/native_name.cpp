// The half of native_name.h that is text work only: the same on every system, but for
// the unit in which a name's length is counted.
#include "platform/native_name.h"
#include "platform/encoding.h"

namespace orv::os {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// The units one character (a code unit, or a whole surrogate pair) takes in a name.
size_t UnitsOf(WStringView name, size_t at, size_t& length) {
  const Char c = name[at];
  length = (IsHighSurrogate(c) && at + 1 < name.size() && IsLowSurrogate(name[at + 1])) ? 2 : 1;
#ifdef _WIN32
  return length;
#else
  if (length == 2) return 4;
  if (c < 0x80) return 1;
  if (c < 0x800) return 2;
  return 3;  // a lone surrogate becomes U+FFFD, three bytes too
#endif
}

}  // namespace

size_t FittingNameLength(WStringView name, size_t room) {
  size_t at = 0;
  size_t used = 0;
  while (at < name.size()) {
    size_t length = 0;
    const size_t units = UnitsOf(name, at, length);
    if (used + units > room) break;
    used += units;
    at += length;
  }
  return at;
}

WString GivenNameOf(std::string_view native, std::string_view nativeRoot, WStringView givenRoot) {
  while (!nativeRoot.empty() && IsSeparator(nativeRoot.back()) && nativeRoot.size() > 1)
    nativeRoot.remove_suffix(1);
  std::string_view rest = native;
  // Only a whole-component prefix counts: "/mnt/c" is not the root of "/mnt/cd".
  if (rest.starts_with(nativeRoot) &&
      (rest.size() == nativeRoot.size() || IsSeparator(rest[nativeRoot.size()]) ||
       IsSeparator(nativeRoot.back())))
    rest.remove_prefix(nativeRoot.size());
  while (!rest.empty() && IsSeparator(rest.front())) rest.remove_prefix(1);
  WString given(givenRoot);
  if (rest.empty()) return given;
  if (!given.empty() && given.back() != Char('\\') && given.back() != Char('/'))
    given += Char('\\');
  for (Char c : FromUtf8(rest)) given += c == Char('/') ? Char('\\') : c;
  return given;
}

}  // namespace orv::os
