// COrvString: the wide string of the library. Sets and maps of file names order their
// keys with CompareNoCase (COrvStringLess).
#pragma once

#include "platform/text.h"

namespace orv {

class COrvString {
 public:
  COrvString() = default;
  COrvString(const Char* text) : text_(text ? text : ORV_T("")) {}  // NOLINT: as Windows strings
  COrvString(WStringView text) : text_(text) {}
  COrvString(const COrvString&) = default;
  COrvString& operator=(const COrvString&) = default;
  COrvString& operator=(const Char* text);

  operator const Char*() const { return text_.c_str(); }  // NOLINT: as Windows strings
  const WString& str() const { return text_; }
  int GetLength() const { return static_cast<int>(text_.size()); }
  bool IsEmpty() const { return text_.empty(); }

  // 0 when equal ignoring case; otherwise the sign of the case-insensitive ordinal order.
  int CompareNoCase(const Char* other) const;
  int CompareNoCase(const COrvString& other) const;
  bool operator==(const Char* other) const;

  // The first n characters; the rest from position n. Out-of-range counts clamp.
  COrvString Left(int n) const;
  COrvString Mid(int n) const;

  COrvString& operator+=(WStringView more);

 private:
  WString text_;
};

struct COrvStringLess {
  bool operator()(const COrvString& a, const COrvString& b) const {
    return a.CompareNoCase(b) < 0;
  }
};

}  // namespace orv
