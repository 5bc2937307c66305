#include "image/exclusions.h"

#include <algorithm>

#include "platform/case_fold.h"

namespace orv {

namespace {

// In the order the tests run, lower case, below the volume root.
const WStringView kExcluded[] = {
    ORV_T("system volume information"), ORV_T("system recovery"), ORV_T("pagefile.sys"),
    ORV_T("hiberfil.sys"),              ORV_T("windows\\csc"),    ORV_T("$recycle.bin"),
    ORV_T("recycler"),                  ORV_T("$ntfs.log"),
};

// `text` is `prefix` followed by an excluded name, ignoring case.
bool IsPrefixedExclusion(WStringView text, WStringView prefix) {
  if (text.size() <= prefix.size() || text.substr(0, prefix.size()) != prefix) return false;
  const WStringView rest = text.substr(prefix.size());
  return std::any_of(std::begin(kExcluded), std::end(kExcluded),
                     [&](WStringView name) { return os::CompareNoCase(rest, name) == 0; });
}

}  // namespace

bool ExcludedFromWalk(WStringView displayName) {
  WString lower;
  lower.reserve(displayName.size());
  for (Char c : displayName) lower += (c >= 'A' && c <= 'Z') ? Char(c - 'A' + 'a') : c;
  return std::any_of(std::begin(kExcluded), std::end(kExcluded), [&](WStringView name) {
    return lower.find(WString(ORV_T(":\\")) + WString(name)) != WString::npos;
  });
}

bool IsDefaultExclusion(WStringView displayName) {
  return IsPrefixedExclusion(displayName, ORV_T(":\\"));
}

bool IsDefaultExclusionPath(WStringView path) { return IsPrefixedExclusion(path, ORV_T("\\")); }

}  // namespace orv
