#include "services/string.h"

#include "platform/case_fold.h"

namespace orv {

namespace {
size_t Clamp(int n, size_t size) { return n < 0 ? 0 : (static_cast<size_t>(n) > size ? size : n); }
}  // namespace

COrvString& COrvString::operator=(const Char* text) {
  text_ = text ? text : ORV_T("");
  return *this;
}

int COrvString::CompareNoCase(const Char* other) const {
  return os::CompareNoCase(text_, other ? WStringView(other) : WStringView());
}

// Two strings of the library compare without measuring either again.
int COrvString::CompareNoCase(const COrvString& other) const {
  return os::CompareNoCase(text_, other.text_);
}

bool COrvString::operator==(const Char* other) const {
  return text_ == (other ? WStringView(other) : WStringView());
}

COrvString COrvString::Left(int n) const { return COrvString(WStringView(text_).substr(0, Clamp(n, text_.size()))); }

COrvString COrvString::Mid(int n) const { return COrvString(WStringView(text_).substr(Clamp(n, text_.size()))); }

COrvString& COrvString::operator+=(WStringView more) {
  text_ += more;
  return *this;
}

}  // namespace orv
