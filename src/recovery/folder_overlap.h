// Whether removing one folder would take another path with it: the new recovery point's
// folder is emptied first, so it must be neither the previous point nor hold the
// change database.
#pragma once

#include "platform/text.h"

namespace orv {

// Whether `folder` is `path` or one of the folders above it. Paths are compared as the
// entries they reach where both exist, else by their text without regard to case.
bool FolderHolds(const WString& folder, const WString& path);

}  // namespace orv
