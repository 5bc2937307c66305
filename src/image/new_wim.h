// A new WIM file: created in place of whatever was at its path, and the information
// block of its image written back as the engine made it.
#pragma once

#include "platform/text.h"
#include "wim/wim.h"

namespace orv {

// Creates the WIM file `path` with `compression` as the current WIM of `wim`. An entry
// already at the path is removed as itself first, so that a link planted there is
// never written through. FALSE with the binding's error when the engine refuses.
BOOL CreateNewWim(COrvWim& wim, const WString& path, DWORD compression);

// Reads the information block of `image` and writes it back unchanged, which makes the
// engine record it in the file.
void RewriteImageInformation(COrvWim& wim, HANDLE image);

}  // namespace orv
