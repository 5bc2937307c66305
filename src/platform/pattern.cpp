// Windows wildcard matching, shared by both backends' directory searches.
#include "platform/case_fold.h"
#include "platform/dir_search.h"

namespace orv::os {

namespace {

// Iterative glob with one backtrack point: linear in practice, never exponential.
bool Glob(WStringView pattern, WStringView name) {
  size_t p = 0, n = 0, starP = WStringView::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || ToUpper(pattern[p]) == ToUpper(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != WStringView::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesPattern(WStringView pattern, WStringView name) {
  // "*.*" is every name, with or without an extension, as on Windows.
  if (pattern == ORV_T("*.*") || pattern == ORV_T("*")) return true;
  // "name.*" also matches "name" without extension.
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ORV_T(".*") &&
      Glob(pattern.substr(0, pattern.size() - 2), name))
    return true;
  return Glob(pattern, name);
}

}  // namespace orv::os
