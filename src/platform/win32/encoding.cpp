// UTF-8 and UTF-16 through the system's code-page conversions. Without the strict flag
// they turn invalid sequences into U+FFFD, as the library promises.
#include "platform/encoding.h"

#include "platform/win32/native.h"

namespace orv::os {

namespace {

// The conversions count in int; longer text goes through in pieces cut between whole
// characters, so that a piece never ends inside a sequence.
constexpr size_t kPiece = 1 << 20;

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Where the next piece of UTF-8 starts: at most kPiece bytes on, never before the
// continuation bytes of a character (a run longer than any character is cut anyway).
size_t Utf8PieceLength(std::string_view text) {
  if (text.size() <= kPiece) return text.size();
  size_t length = kPiece;
  for (int back = 0; back < 3 && IsUtf8Continuation(text[length]); ++back) --length;
  return IsUtf8Continuation(text[length]) ? kPiece : length;
}

size_t Utf16PieceLength(WStringView text) {
  if (text.size() <= kPiece) return text.size();
  return IsHighSurrogate(text[kPiece - 1]) ? kPiece - 1 : kPiece;
}

}  // namespace

WString FromUtf8(std::string_view text) {
  WString result;
  while (!text.empty()) {
    const int length = static_cast<int>(Utf8PieceLength(text));
    const int needed = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    const size_t start = result.size();
    result.resize(start + static_cast<size_t>(needed));
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data() + start, needed);
    text.remove_prefix(static_cast<size_t>(length));
  }
  return result;
}

std::string ToUtf8(WStringView text) {
  std::string result;
  while (!text.empty()) {
    const int length = static_cast<int>(Utf16PieceLength(text));
    const int needed =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    const size_t start = result.size();
    result.resize(start + static_cast<size_t>(needed));
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data() + start, needed, nullptr,
                          nullptr);
    text.remove_prefix(static_cast<size_t>(length));
  }
  return result;
}

DWORD ToSystemCodePage(WStringView text, std::string& narrow) {
  narrow.clear();
  // With UTF-8 as the ANSI code page (65001) the conversion takes neither the best-fit
  // flag nor a default-character report: it refuses what has no UTF-8 form (an unpaired
  // surrogate) when asked to be strict.
  const UINT codePage = ::GetACP();
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  while (!text.empty()) {
    const int length = static_cast<int>(Utf16PieceLength(text));
    BOOL replaced = FALSE;
    const int needed = ::WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0,
                                             nullptr, utf8 ? nullptr : &replaced);
    if (replaced) return ERROR_NO_UNICODE_TRANSLATION;
    if (needed <= 0) return win32::LastError();
    const size_t start = narrow.size();
    narrow.resize(start + static_cast<size_t>(needed));
    if (::WideCharToMultiByte(codePage, flags, text.data(), length, narrow.data() + start, needed,
                              nullptr, nullptr) != needed) {
      narrow.clear();
      return win32::LastError();
    }
    text.remove_prefix(static_cast<size_t>(length));
  }
  return ERROR_SUCCESS;
}

DWORD FromSystemCodePage(std::string_view narrow, WString& text) {
  text.clear();
  if (narrow.empty()) return ERROR_SUCCESS;
  const int length = static_cast<int>(narrow.size());
  const int needed =
      ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(), length, nullptr, 0);
  if (needed <= 0) return win32::LastError();
  text.resize(static_cast<size_t>(needed));
  if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(), length, text.data(),
                            needed) != needed) {
    text.clear();
    return win32::LastError();
  }
  return ERROR_SUCCESS;
}

}  // namespace orv::os
