// A new WIM file in place of whatever was at its path.
#pragma once

#include "platform/text.h"
#include "wim/wim.h"

namespace orv {

// Creates the WIM file `path` with `compression` as the current WIM of `wim`. An entry
// already at the path is removed as itself first, so that a link planted there is
// never written through. FALSE with the binding's error when the engine refuses.
BOOL CreateNewWim(COrvWim& wim, const WString& path, DWORD compression);

}  // namespace orv
