// UTF-16 <-> UTF-8 for the whole program. Only this backend and the terminal code meet
// UTF-8; every malformed sequence becomes U+FFFD, so no input can make the result
// depend on bytes past the end or produce an invalid string.
#include "platform/encoding.h"
#include "platform/errors.h"

namespace orv::os {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Decodes one code point at text[i], advancing i past it (or past the first byte of
// a malformed sequence, which yields U+FFFD).
char32_t DecodeOne(std::string_view text, size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  size_t extra;
  char32_t value;
  char32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, value = lead & 0x07, minimum = 0x10000;
  } else {
    return kReplacement;
  }
  if (text.size() - i < extra) return kReplacement;
  for (size_t k = 0; k < extra; ++k) {
    const auto c = static_cast<unsigned char>(text[i + k]);
    if (!IsContinuation(c)) return kReplacement;
    value = value << 6 | (c & 0x3F);
  }
  // Overlong forms, encoded surrogates and values past U+10FFFF are all invalid.
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return kReplacement;
  i += extra;
  return value;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

WString FromUtf8(std::string_view text) {
  WString out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char32_t c = DecodeOne(text, i);
    if (c < 0x10000) {
      out += static_cast<Char>(c);
    } else {
      out += static_cast<Char>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<Char>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::string ToUtf8(WStringView text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char32_t c = text[i];
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00));
    } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
      AppendUtf8(out, kReplacement);  // a lone surrogate
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

DWORD ToSystemCodePage(WStringView text, std::string& narrow) {
  narrow.clear();
  // An unpaired surrogate has no UTF-8 form; U+FFFD in its place would name another file.
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ++i;
      continue;
    }
    if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) return err::kNoUnicodeTranslation;
  }
  narrow = ToUtf8(text);
  return 0;
}

DWORD FromSystemCodePage(std::string_view narrow, WString& text) {
  text = FromUtf8(narrow);
  // A replacement character that the bytes did not spell marks an invalid sequence.
  if (text.find(Char(0xFFFD)) != WString::npos && narrow.find("\xEF\xBF\xBD") == std::string::npos)
    return err::kNoUnicodeTranslation;
  return err::kSuccess;
}

}  // namespace orv::os
