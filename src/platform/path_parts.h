// Cutting a path at its last separator. Paths in the core may carry either separator:
// Windows-shaped paths use '\', folders of the host reached through the volume table '/'.
#pragma once

#include "platform/text.h"

namespace orv {

// Where the last '\' or '/' of `path` stands, npos when there is none.
inline size_t LastSeparator(WStringView path) { return path.find_last_of(ORV_T("\\/")); }

// The folder that holds `path`: everything before its last separator, empty when it has none.
inline WString ParentPath(WStringView path) {
  const size_t separator = LastSeparator(path);
  return WString(separator == WStringView::npos ? WStringView() : path.substr(0, separator));
}

}  // namespace orv
