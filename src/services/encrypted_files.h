// The encrypted-files component: exports the raw encrypted stream of an encrypted file
// into another file, the form that archives store. Where it is not installed the
// callers fall back to the 64-bit helper program or to the system's raw-file interface.
#pragma once

#include "platform/text.h"

namespace orv {

// 0 when the raw stream of `source` was written to `target`; the component's absence
// answers kComponentNotRegistered (services/shadow_copy.h).
DWORD PutRawContentToFile(WStringView source, WStringView target);

}  // namespace orv
