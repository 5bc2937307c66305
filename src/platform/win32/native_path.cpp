// Long paths. The W calls refuse a path of MAX_PATH characters or more unless it is in
// the "\\?\" form, and deep trees on a captured volume easily pass that limit. A long
// path is made absolute and normalised first (the "\\?\" form skips both steps), then
// prefixed; short paths pass through unchanged.
#include "platform/win32/native.h"

namespace orv::os::win32 {

namespace {

// CreateDirectoryW leaves room for an 8.3 name below MAX_PATH: the strictest limit.
constexpr size_t kLongPath = MAX_PATH - 12;

constexpr WStringView kVerbatimPrefix = L"\\\\?\\";
constexpr WStringView kDevicePrefix = L"\\\\.\\";
constexpr WStringView kVerbatimUncPrefix = L"\\\\?\\UNC\\";

}  // namespace

WString NativePath(WStringView path) {
  if (path.size() < kLongPath || path.starts_with(kVerbatimPrefix) ||
      path.starts_with(kDevicePrefix))
    return WString(path);
  const WString given(path);
  WString full;
  if (FetchText(full, [&](Char* buffer, DWORD size) {
        return ::GetFullPathNameW(given.c_str(), size, buffer, nullptr);
      }) != err::kSuccess)
    return given;  // the call that uses the path reports what is wrong with it
  if (full.size() >= 2 && IsSeparator(full[0]) && IsSeparator(full[1]))
    return WString(kVerbatimUncPrefix) + full.substr(2);  // \\server\share\...
  if (full.size() >= 3 && full[1] == L':') return WString(kVerbatimPrefix) + full;
  return full;
}

WStringView FinalName(WStringView path) {
  while (!path.empty() && IsSeparator(path.back())) path.remove_suffix(1);
  size_t start = path.size();
  while (start > 0 && !IsSeparator(path[start - 1]) && path[start - 1] != L':') --start;
  return path.substr(start);
}

}  // namespace orv::os::win32
