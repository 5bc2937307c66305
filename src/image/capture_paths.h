// Paths and descriptors as the capture handles them.
#pragma once

#include "platform/file.h"
#include "platform/text.h"

namespace orv {

// The longest path a caller may pass, and the longest kept in the capture state.
inline constexpr size_t kMaxImagePath = 260;
// Windows paths of 240 characters or more are left out of a capture.
inline constexpr size_t kMaxCapturedPath = 240;

// The name an entry is offered to the caller under (400): ":\" and its path relative
// to the root of the capture.
inline WString DisplayName(WStringView relative) { return ORV_T(":\\") + WString(relative); }

// Whether an entry is left out for its length: its Windows path, "X:\" and the relative
// path, whatever the folder that stands for the volume here.
inline bool IsTooLongToCapture(WStringView displayName) {
  return displayName.size() + 1 >= kMaxCapturedPath;
}

// A string the caller passed: present, not empty, and at most 260 characters.
inline bool IsCallerPath(const Char* text) {
  if (text == nullptr) return false;
  size_t length = 0;
  while (length <= kMaxImagePath && text[length] != 0) ++length;
  return length > 0 && length <= kMaxImagePath;
}

// The folder with a separator at its end, ready for a name.
inline WString WithSeparator(WStringView folder) {
  WString path(folder);
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += ORV_T("\\");
  return path;
}

}  // namespace orv
