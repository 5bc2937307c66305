// The half of native_name.h that is the same on every system: text work only.
#include "platform/native_name.h"
#include "platform/encoding.h"

namespace orv::os {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

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
