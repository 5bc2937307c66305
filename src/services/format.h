// Wide printf-style formatting with the conversions of the Windows runtime, giving the
// same text on every system: "%s" is a wide string, "%d"/"%u"/"%x"/"%ld"/"%lu" take
// 32 bits (long is 32 bits on Windows), "%I64d"/"%I64u"/"%lld" take 64 bits, "%hd" 16.
// Flags "-+ #0", width and precision (also "*") follow the C rules: "%8.8X", "%2.2X",
// "%.4i", "%2.u". Arguments are typed, so a mismatch prints wrongly but never reads
// past the argument list.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include "platform/text.h"

namespace orv {

class FormatArg {
 public:
  enum class Kind { kInteger, kString, kPointer };

  template <class T>
    requires std::is_integral_v<T> || std::is_enum_v<T>
  FormatArg(T value)  // NOLINT(google-explicit-constructor): arguments convert implicitly
      : kind_(Kind::kInteger), bits_(static_cast<uint64_t>(static_cast<int64_t>(value))) {}
  FormatArg(const Char* text) : kind_(Kind::kString), text_(text) {}
  FormatArg(Char* text) : kind_(Kind::kString), text_(text) {}
  FormatArg(const WString& text) : kind_(Kind::kString), text_(text.c_str()) {}
  FormatArg(std::nullptr_t) : kind_(Kind::kString) {}
  FormatArg(const void* pointer)
      : kind_(Kind::kPointer), bits_(reinterpret_cast<uintptr_t>(pointer)) {}

  Kind kind() const { return kind_; }
  // The integer's bits (sign-extended from its own width), or the pointer's value.
  uint64_t bits() const { return bits_; }
  const Char* text() const { return text_; }

 private:
  Kind kind_;
  uint64_t bits_ = 0;
  const Char* text_ = nullptr;
};

WString FormatList(WStringView format, std::span<const FormatArg> args);

template <class... Args>
WString Format(WStringView format, const Args&... args) {
  const std::array<FormatArg, sizeof...(Args)> list{FormatArg(args)...};
  return FormatList(format, list);
}

}  // namespace orv
